// Production mode in the window: with "连续烧录" checked, OK starts a station on the ticked
// rows and reads "停止" until it has stopped; the counts sit beside the elapsed time and in
// each port's tooltip, and every finished chip is heard.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "app/CPellionDlg.h"
#include "app/OperatorMessage.h"
#include "app/PortRows.h"
#include "app/Utf8Text.h"
#include "app/WindowTexts.h"
#include "engine/RunControl.h"
#include "engine/TextTable.h"
#include "ui/CListCtrlEx.h"

namespace pellion {

namespace {
constexpr std::chrono::seconds kClockPeriod{1};
// A failure is heard as two beeps this far apart.
constexpr std::chrono::milliseconds kSecondBeep{250};
}  // namespace

void CPellionDlg::startStation() {
    if (!anyRowTicked()) {
        showOperatorMessage(this, QString::fromUtf8(kRunCaption), windowText(kTextNoPortTicked));
        return;
    }
    const auto image = run_->LoadImage();
    if (!image)
        return;  // the window was told why
    std::vector<Station::Port> ports;
    for (int slot = 0; slot < table_.slotCount(); ++slot) {
        if (!IsRowTicked(slot) || !table_.slot(slot).ports.IsOpen())
            continue;
        SlotInputs inputs = SlotInputsOf(slot);
        inputs.image = image;
        ports.push_back({slot, inputs});
    }
    station_ = std::make_unique<Station>(loop_, *run_);
    station_->onChipFinished = [this](const StationChip& chip) { onStationChipFinished(chip); };
    station_->onPortWaiting = [this](std::int32_t slot) {
        portList_->SetSlotText(slot, ColumnRemark,
                               fromUtf8(Text(TextId::WaitingForChip, {}, options_.language)));
    };
    station_->onStopped = [this] { onStationStopped(); };
    okButton_->setText(windowText(kTextStationStop));
    continuousCheck_->setEnabled(false);
    setBaudCellsEnabled(false);
    stationStarted_ = SteadyClock::now();
    stationClock_ = loop_.startTimer(kClockPeriod, true, [this] { showStationElapsed(); });
    showStationElapsed();
    station_->Start(ports);
    showRunCounts();
}

void CPellionDlg::onStationStopped() {
    if (stationClock_ != 0)
        loop_.stopTimer(stationClock_);
    stationClock_ = 0;
    okButton_->setText(tr("确定"));
    okButton_->setEnabled(true);
    continuousCheck_->setEnabled(true);
    setBaudCellsEnabled(true);
}

void CPellionDlg::onStationChipFinished(const StationChip& chip) {
    if (chip.uniqueIdRefused) {
        const QString remark = portList_->GetSlotText(chip.slot, ColumnRemark);
        portList_->SetSlotText(
            chip.slot, ColumnRemark,
            remark + fromUtf8(Text(TextId::UniqueIdUnreadable, {}, options_.language)));
    }
    showRunCounts();
    showPortCounts(chip.slot);
    soundFor(chip.succeeded());
}

void CPellionDlg::showStationElapsed() {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now() - stationStarted_);
    elapsedText_->setText(fromUtf8(FormatElapsed(elapsed.count())));
}

void CPellionDlg::showPortCounts(int slot) {
    if (slot < 0 || slot >= static_cast<int>(portRows_.size()))
        return;
    QString tip = portToolTip(portRows_[slot]);
    if (station_) {
        tip += (tip.isEmpty() ? "" : "\n") + windowText(kTextStationPortCounts)
                                                 .arg(station_->succeeded(slot))
                                                 .arg(station_->failed(slot));
    }
    portList_->SetSlotToolTip(slot, ColumnPort, tip);
}

void CPellionDlg::resetStationCounts() {
    if (!station_)
        return;
    station_->ResetCounters();
    showRunCounts();
    for (int slot = 0; slot < table_.slotCount(); ++slot)
        showPortCounts(slot);
}

void CPellionDlg::addStationActions(QMenu& menu, int slot) {
    if (!station_)
        return;
    menu.addSeparator();
    if (slot >= 0 && station_->MayRetry(slot))
        menu.addAction(windowText(kTextRetryChip), this, [this, slot] { station_->Retry(slot); });
    menu.addAction(windowText(kTextResetCounts), this, &CPellionDlg::resetStationCounts);
}

void CPellionDlg::soundFor(bool succeeded) {
    if (!settings_.stationSound)
        return;
    beep();
    if (!succeeded)
        loop_.startTimer(kSecondBeep, false, [this] { beep(); });
}

void CPellionDlg::beep() {
    if (options_.beep)
        options_.beep();
    else
        QApplication::beep();
}

}  // namespace pellion
