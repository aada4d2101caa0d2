#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace pellion {

// The texts the state machine writes into a slot's row (column 7 unless said otherwise).
namespace remark {
inline constexpr const char* kYes = "Y";  // column 3, once synchronised
inline constexpr const char* kReadingInfo = "正在读取芯片信息,请稍后....";
inline constexpr const char* kInitialising = "正在初始化,请稍后.....";
inline constexpr const char* kChooseModelByHand = "请手动为该芯片选择正确的型号";
inline constexpr const char* kIdentified = "识别设备成功,可以进行下一步操作";
inline constexpr const char* kUnknownDevice = "未识别的设备";  // column 5
inline constexpr const char* kChooseModel = "请选择设备型号，否则无法下载";
inline constexpr const char* kErasing = "正在擦除芯片,请稍后.....";
inline constexpr const char* kRemovingWriteProtection = "正在去除写保护,请稍后.....";
inline constexpr const char* kErased = "擦除成功";
inline constexpr const char* kDownloading = "正在下载.....";
inline constexpr const char* kDownloaded = "下载完成";
inline constexpr const char* kStarted = "下载完成后成功跳转";
inline constexpr const char* kWriteUnprotected = "去除写保护成功";
inline constexpr const char* kReadUnprotected = "去除读保护成功";
inline constexpr const char* kProtected = "下载完成，设置读保护成功";
inline constexpr const char* kProtectFailed = "下载完成，设置读保护失败";
inline constexpr const char* kVerifying = "正在校验,请稍后.....";
inline constexpr const char* kVerified = "校验成功";

// Why a step failed, appended to the step's failure text ("擦除失败,芯片无应答").
inline constexpr const char* kReasonNoAnswer = ",芯片无应答";   // nothing arrived
inline constexpr const char* kReasonGarbled = ",芯片应答错误";  // something else arrived
inline constexpr const char* kReasonRefused = ",芯片多次拒绝";
inline constexpr const char* kReasonOptionBytesCorrupt = ",选项字节校验错误";
inline constexpr const char* kReasonInterrupted = ",操作被中断";
// Appended to the final remark of a chip that a readout unprotect erased as a whole.
inline constexpr const char* kMassErasedNote = ",去除读保护时芯片已整片擦除";
// "0x08003000", as remarks name an address.
inline std::string hexAddress(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", address);
    return text;
}
}  // namespace remark

}  // namespace pellion
