// The window as the engine's RunHost: what a run reads from the controls and what it shows in
// the rows, the elapsed time and the run's counts.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/CPellionDlg.h"
#include "app/IntervalText.h"
#include "app/OperatorMessage.h"
#include "app/Utf8Text.h"
#include "app/WindowTexts.h"
#include "ui/CListCtrlEx.h"

namespace pellion {

namespace {

const QColor kFailedFill(210, 40, 40);
const QColor kSucceededFill(40, 160, 60);

}  // namespace

bool CPellionDlg::IsRowTicked(std::int32_t slot) const {
    const ListCtrlEx::CellInfo* cell = portList_->GetSlotCell(slot, ColumnNumber);
    return cell && cell->checked;
}

std::string CPellionDlg::RowText(std::int32_t slot, std::int32_t column) const {
    return toUtf8(portList_->GetSlotText(slot, column));
}

std::string CPellionDlg::DownloadFilePath() const {
    return toUtf8(downloadFileEdit_->text());
}

std::string CPellionDlg::StartAddressText() const {
    return toUtf8(addressEdit_->text());
}

std::uint32_t CPellionDlg::WritePauseMs() const {
    return writePauseOf(toUtf8(intervalCombo_->currentText()));
}

bool CPellionDlg::IsReadProtectChecked() const {
    return readProtectCheck_->isChecked();
}

bool CPellionDlg::IsVerifyChecked() const {
    return verifyCheck_->isChecked();
}

void CPellionDlg::SetRowText(const PortTextUpdate& update) {
    portList_->SetSlotText(update.slot, update.column, fromUtf8(update.text));
}

void CPellionDlg::SetRowProgress(const PortProgressUpdate& update) {
    if (update.maximum != 0) {
        portList_->SetSlotProgressMax(update.slot, update.column,
                                      static_cast<std::uint32_t>(update.maximum));
    } else {
        portList_->SetSlotProgressPos(update.slot, update.column,
                                      static_cast<std::uint32_t>(update.position));
    }
}

void CPellionDlg::UntickRow(std::int32_t slot) {
    portList_->SetSlotCheck(slot, ColumnNumber, false);
}

void CPellionDlg::SetOkEnabled(bool enabled) {
    // A disabled OK hands its focus on to Cancel, where Enter would end the program once the
    // run is over: the list holds the focus meanwhile, and OK takes it back at the end.
    if (!enabled && okButton_->hasFocus()) {
        okFocusLent_ = true;
        portList_->setFocus();
    }
    okButton_->setEnabled(enabled);
    if (!enabled)
        return;
    if (cancelButton_->hasFocus() || !focusWidget() || (okFocusLent_ && portList_->hasFocus()))
        okButton_->setFocus();
    okFocusLent_ = false;
}

void CPellionDlg::SetElapsedText(const std::string& text) {
    elapsedText_->setText(fromUtf8(text));
}

void CPellionDlg::ShowMessage(const std::string& caption, const OperatorText& text) {
    const bool portFault = caption == "Application Error";
    showOperatorMessage(this, fromUtf8(caption), fromUtf8(text.words(options_.language)),
                        portFault ? QMessageBox::Critical : QMessageBox::NoIcon);
}

void CPellionDlg::OnSlotRunStarted(std::int32_t slot) {
    portList_->SetSlotProgressFill(slot, ColumnProgress, QColor());
    tally_.slotStarted(slot);
    showRunCounts();
}

void CPellionDlg::OnSlotRunEnded(std::int32_t slot, bool succeeded) {
    portList_->SetSlotProgressFill(slot, ColumnProgress, succeeded ? kSucceededFill : kFailedFill);
    tally_.slotEnded(slot, succeeded);
    showRunCounts();
}

void CPellionDlg::OnRunEnded() {
    tally_.close();
    setBaudCellsEnabled(!IsStationRunning());  // the station starts more cycles
}

void CPellionDlg::showRunCounts() {
    if (!station_) {
        runCountsText_->setText(tally_.text());
        return;
    }
    const std::uint64_t total = station_->succeeded() + station_->failed();
    runCountsText_->setText(windowText(kTextStationCounts)
                                .arg(station_->succeeded())
                                .arg(station_->failed())
                                .arg(total == 0 ? 0 : station_->succeeded() * 100 / total));
}

}  // namespace pellion
