#pragma once

#include <array>
#include <string_view>

#include "engine/TextTable.h"

namespace pellion {

// The Chinese texts, in the order of TextId. Pinned by tests: they never change.
inline constexpr std::array<std::string_view, std::size_t(TextId::Count)> kZhTexts = {
    "Y",
    "N",
    "正在读取芯片信息,请稍后....",
    "正在初始化,请稍后.....",
    "请手动为该芯片选择正确的型号",
    "识别设备成功,可以进行下一步操作",
    "未识别的设备",
    "请选择设备型号，否则无法下载",
    "正在擦除芯片,请稍后.....",
    "正在去除写保护,请稍后.....",
    "擦除成功",
    "正在下载.....",
    "下载完成",
    "下载完成后成功跳转",
    "去除写保护成功",
    "去除读保护成功",
    "下载完成，设置读保护成功",
    "正在校验,请稍后.....",
    "校验成功",
    "正在进入下载模式,请稍后.....",
    "下载完成后成功复位运行",
    // Failed steps.
    "初始化失败",
    "读取芯片信息失败",
    "读取选项字节失败",
    "擦除失败",
    "下载失败",
    "跳转失败",
    "去除读保护失败",
    "去除写保护失败",
    "下载完成，设置读保护失败",
    "校验失败",
    "进入下载模式失败",
    "复位运行失败",
    "{step},{reason}",
    "芯片无应答",
    "芯片无应答,串口适配器可能不支持偶校验",
    "芯片应答错误",
    "芯片多次拒绝",
    "选项字节校验错误",
    "操作被中断",
    "串口已断开",
    "地址{address}的数据被拒绝",
    "地址{address}的内容与下载文件不同",
    "串口无法控制DTR/RTS",
    "设置DTR/RTS失败",
    ",去除读保护时芯片已整片擦除",
    // Messages.
    "{ports}芯片请选择型号!",
    "{ports}芯片初始化失败!",
    "{port}芯片已识别为{part},不能选择其他型号!",
    "下载文件与芯片不符,未开始下载!",
    "串口被占用!",
    "串口不存在!",
    "该设备不是串口!",
    "没有权限打开串口!",
    "串口打开失败!",
    // Image fit.
    "选项字节文件只有{size}字节,需要{need}字节",
    "起始地址{start}不在芯片闪存范围({first}-{last})内",
    "起始地址{start}不是{align}字节对齐的地址,芯片无法写入",
    "下载文件结束于{end},超出芯片闪存末地址{last}",
    "下载文件需要擦除{pages}页,超过{limit}页的上限",
    // Production mode.
    "等待芯片",
    ",芯片唯一ID不可读,取走芯片后才烧录下一片",
};
static_assert(!kZhTexts.back().empty(), "a text for every TextId");

}  // namespace pellion
