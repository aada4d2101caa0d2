#pragma once

// The real window with virtual chips as its rows, and what an operator does to it.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <memory>

#include "AppTestSupport.h"
#include "app/CPellionDlg.h"
#include "support/VirtualChipFixture.h"
#include "ui/CInPlaceCombo.h"
#include "ui/CListCtrlEx.h"

namespace pellion::test {

inline constexpr std::uint32_t kFlashStart = 0x08000000;
inline const QString kIdentified = QStringLiteral("识别设备成功,可以进行下一步操作");
inline const QString kStarted = QStringLiteral("下载完成后成功跳转");

// The real window with virtual chips as its rows, listed through PELLION_PORT_DIR like the
// ports of the machine.
class WindowEndToEndTest : public ::testing::Test {
  protected:
    void startWindow(std::size_t chipCount, const sim::ChipOptions& chipOptions = {}) {
        test::qtApp();
        chips_ = std::make_unique<test::VirtualChipFixture>(chipCount, chipOptions);
        ASSERT_TRUE(chips_->ok()) << chips_->error();
        for (std::size_t i = 0; i < chipCount; ++i) {
            std::filesystem::create_symlink(
                chips_->devicePath(i),
                portDir_.filePath(QStringLiteral("chip%1").arg(i)).toStdString());
        }
        // Stays set while the window lives: a refresh lists the ports again.
        qputenv("PELLION_PORT_DIR", portDir_.path().toUtf8());
        DialogOptions options;
        options.settingsPath = portDir_.filePath("settings/KTZozOvConfig.ini").toStdString();
        options.startUpdateNotice = false;
        options.language = language_;
        options.beep = [this] { ++beeps_; };
        dialog_ = std::make_unique<CPellionDlg>(options);
        dialog_->show();
        list_ = &dialog_->portList();
    }
    void TearDown() override {
        dialog_.reset();
        qunsetenv("PELLION_PORT_DIR");
        chips_.reset();
    }

    // The slot whose row shows the chip's port name.
    int slotOfChip(std::size_t chip) const {
        const QString name = QStringLiteral("chip%1").arg(chip);
        for (int row = 0; row < list_->GetItemCount(); ++row) {
            if (list_->GetItemText(row, ColumnPort) == name)
                return list_->SlotOfRow(row);
        }
        ADD_FAILURE() << "no row for " << name.toStdString();
        return -1;
    }
    QString text(int slot, int column) const { return list_->GetSlotText(slot, column); }
    bool ticked(int slot) const { return list_->GetSlotCell(slot, ColumnNumber)->checked; }

    // A click of the operator inside the row's check box.
    void clickCheckBox(int slot) {
        const int row = list_->RowOfSlot(slot);
        QRect cell;
        ASSERT_TRUE(list_->GetCellRect(row, ColumnNumber, cell));
        const QPoint insideBox(cell.left() + 7 + (cell.height() - 4) / 2, cell.center().y());
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, Qt::NoModifier, insideBox);
    }
    void tickAndIdentify(const std::vector<int>& chipSlots) {
        for (int slot : chipSlots) {
            clickCheckBox(slot);
            ASSERT_TRUE(ticked(slot));
        }
        ASSERT_TRUE(test::processEventsUntil(
            [&] {
                for (int slot : chipSlots) {
                    if (text(slot, ColumnRemark) != kIdentified)
                        return false;
                }
                return true;
            },
            10000))
            << text(chipSlots.front(), ColumnRemark).toStdString();
    }
    // The operator opens a combo cell of the row and chooses `item` with Enter.
    void chooseInPlace(int slot, int column, const QString& item) {
        QRect cell;
        ASSERT_TRUE(list_->GetCellRect(list_->RowOfSlot(slot), column, cell));
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        auto* combo = ListCtrlEx::CInPlaceCombo::GetInPlaceCombo();
        ASSERT_TRUE(test::processEventsUntil([&] { return combo->IsOpen(); }, 2000));
        ASSERT_GE(combo->findText(item), 0) << item.toStdString();
        combo->setCurrentIndex(combo->findText(item));
        QTest::keyClick(combo, Qt::Key_Return);
        test::processEventsUntil([&] { return !combo->IsOpen(); }, 2000);
    }
    QPushButton* button(const char* name) const {
        return dialog_->findChild<QPushButton*>(QLatin1String(name));
    }

    OperatorLanguage language_ = OperatorLanguage::Chinese;  // of the engine's texts
    int beeps_ = 0;  // the window's sounds, heard instead of the system beep
    QTemporaryDir portDir_;
    std::unique_ptr<test::VirtualChipFixture> chips_;
    std::unique_ptr<CPellionDlg> dialog_;
    ListCtrlEx::CListCtrlEx* list_ = nullptr;
};

}  // namespace pellion::test
