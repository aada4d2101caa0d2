#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/BootSequenceDialog.h"
#include "app/PortRows.h"
#include "app/QtOwnerLoopDriver.h"
#include "app/RunTally.h"
#include "app/SettingsFile.h"
#include "catalogue/DeviceCatalogue.h"
#include "engine/OperatorLanguage.h"
#include "engine/OwnerLoop.h"
#include "engine/RunHost.h"
#include "engine/Station.h"
#include "serial/PortTable.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace ListCtrlEx {
class CListCtrlEx;
}

namespace pellion {

// What the window takes from outside; the defaults are those of the real program.
struct DialogOptions {
    // Read from and written to. Empty: settingsLocation().
    std::string settingsPath;
    // Asks the operator for a download file; an empty result means cancelled. Empty function:
    // the platform's open-file dialog.
    std::function<QString(QWidget* parent)> chooseDownloadFile;
    // Whether the window starts the update notice at its initialisation.
    bool startUpdateNotice = true;
    // The ports that become rows, in row order. Empty function: the ports the system reports
    // (and the virtual chips named by PELLION_PORT_DIR).
    std::function<std::vector<PortIdentity>()> listPorts;
    // Where ports are looked for and described. None: the machine's, with PELLION_PORT_DIR as
    // it is at each listing.
    std::optional<DiscoverySources> discovery;
    // Asks the operator for a port's station label, showing the current one; none means
    // cancelled. Empty function: an input box.
    std::function<std::optional<QString>(QWidget* parent, const QString& portName,
                                         const QString& current)>
        askStationLabel;
    // Asks the operator for the window's language (a settings key, LanguageSetting.h), showing
    // the current one; none means cancelled. Empty function: a list box.
    std::function<std::optional<std::string>(QWidget* parent, const std::string& current)>
        askLanguage;
    // The language of the texts the window makes from the engine's reports; its own texts
    // follow the translations installed (WindowLanguage).
    OperatorLanguage language = OperatorLanguage::Chinese;
    // Asks the operator for the boot entry and exit, showing the current ones; none means
    // cancelled. Empty function: askBootSequences.
    std::function<std::optional<BootSequenceTexts>(QWidget* parent,
                                                   const BootSequenceTexts& current)>
        askBootSequences;
    // One short sound of production mode. Empty function: the system beep.
    std::function<void()> beep;
};

// The interval choices of the "下载间隔" combo, in milliseconds.
inline const QStringList kIntervalItems = {"0",  "1",  "2",  "3",  "4",   "5",   "10",  "15", "20",
                                           "25", "30", "40", "50", "100", "200", "300", "400"};
inline const QString kAppAddressText = QStringLiteral("8000000");
inline const QString kOptionBytesAddressText = QStringLiteral("1FFFF800");

class RunControl;

// The main window: one dialog with the option row, the port list and OK/Cancel; the list takes
// the room the operator gives the window. It turns clicks into calls of the engine (RunControl)
// and the engine's reports into cells.
class CPellionDlg : public QDialog, public RunHost {
    Q_OBJECT
  public:
    explicit CPellionDlg(DialogOptions options = {}, QWidget* parent = nullptr);
    ~CPellionDlg() override;

    const std::string& settingsPath() const { return settingsPath_; }

    // Cancel and Escape: shutdown, saving the settings, end of the dialog. During a run the
    // operator is asked first, and No keeps the run going.
    void reject() override;

    // The "打开" button.
    void onBrowse();
    // A file list dropped at `position` (dialog coordinates).
    void onDropFiles(const QStringList& paths, const QPoint& position);
    // The "刷新列表" button: every port closed, the list and the table built anew (during a run
    // only when the operator confirms).
    void OnRefreshList();
    // The port list's context menu item: the operator names the slot's socket; the label is
    // kept with the port's place and saved with the settings.
    void editStationLabel(int slot);
    // The context menu item outside a run: the station's boot entry and exit, used by the
    // ports opened from then on and saved with the settings.
    void editBootSequences();
    // The context menu's language item: the choice is saved at once and taken at the next
    // start.
    void editLanguage();

    OwnerLoop& ownerLoop() { return loop_; }
    PortTable& portTable() { return table_; }
    RunControl& runControl() { return *run_; }
    ListCtrlEx::CListCtrlEx& portList() { return *portList_; }
    // Production mode ("连续烧录" checked, then OK): the station while it runs or until the next
    // normal run; none before.
    const Station* station() const { return station_.get(); }
    bool IsStationRunning() const { return station_ && station_->IsRunning(); }
    // The context menu's "清零".
    void resetStationCounts();

    // RunHost: what the engine reads from and writes to the window.
    bool IsRowTicked(std::int32_t slot) const override;
    std::string RowText(std::int32_t slot, std::int32_t column) const override;
    std::string DownloadFilePath() const override;
    std::string StartAddressText() const override;
    std::uint32_t WritePauseMs() const override;
    bool IsReadProtectChecked() const override;
    bool IsVerifyChecked() const override;
    WritePlan StationWritePlan() const override { return settings_.writePlan; }
    BootSequences StationBootSequences() const override { return boot_; }
    void SetRowText(const PortTextUpdate& update) override;
    void SetRowProgress(const PortProgressUpdate& update) override;
    void UntickRow(std::int32_t slot) override;
    void SetOkEnabled(bool enabled) override;
    void SetElapsedText(const std::string& text) override;
    void ShowMessage(const std::string& caption, const OperatorText& text) override;
    void OnSlotRunStarted(std::int32_t slot) override;
    void OnSlotRunEnded(std::int32_t slot, bool succeeded) override;
    void OnRunEnded() override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void createControls();
    void arrangeControls();
    void setTabOrder();
    // The eight columns of the port list.
    void SetupPortColumns();
    // One row per port found, all unticked; returns the ports in row order.
    std::vector<PortIdentity> FillPortRows();
    void OnPortCheckClick(int slot, int column);
    // An in-place editor has written a cell: a new baud rate, or a model chosen by hand.
    void onCellEdited(int slot, int column, const QString& text);
    void onModelChosen(int slot, const QString& text);
    // The OK button: a run, or a word on why none can start.
    void onOk();
    bool anyRowTicked() const;
    // Whether a run may end now: outside a run always, during one when the operator says Yes.
    bool mayStopRun();
    // Before a port opens with the interval: a pause beyond the limit is said and shown.
    void limitInterval();
    // Baud cells do not open while a run goes: their ports must not be reopened under it.
    void setBaudCellsEnabled(bool enabled);
    void showRunCounts();
    // Production mode (CPellionDlgStation.cpp).
    void startStation();
    void onStationStopped();
    void onStationChipFinished(const StationChip& chip);
    void showStationElapsed();
    void showPortCounts(int slot);
    void soundFor(bool succeeded);
    void beep();
    // The context menu's station items: "重试" on a row holding a failed chip, then "清零".
    void addStationActions(QMenu& menu, int slot);
    void initialiseControls();
    void restoreWindowSize();
    void saveSettings();
    void shutdown();
    void showAbout();
    void setAddressControlsEnabled(bool enabled);
    // What a browsed or dropped file does to the download boxes.
    void applyChosenFile(const QString& path);
    // The address box follows the download-file box: a HEX file's own start address, shown
    // and locked; `reportProblem` says why a HEX file's start cannot be shown.
    void followDownloadFile(bool reportProblem);

    // Engine side, on the window thread. Declared first: destroyed after the controls.
    OwnerLoop loop_;
    QtOwnerLoopDriver driver_{loop_};
    DeviceCatalogue catalogue_;
    PortTable table_;
    std::unique_ptr<RunControl> run_;
    std::unique_ptr<Station> station_;  // goes before the run control it listens to
    TimerId stationClock_ = 0;
    SteadyClock::time_point stationStarted_{};

    DialogOptions options_;
    std::string settingsReadPath_;
    std::string settingsPath_;
    SavedSettings settings_;
    BootSequences boot_;             // the station's entry and exit, parsed from the settings
    std::vector<PortRow> portRows_;  // slot i's port and where it sits
    RunTally tally_;
    bool okFocusLent_ = false;  // OK had the focus when a run disabled it

    QLabel* banner_ = nullptr;
    ListCtrlEx::CListCtrlEx* portList_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QComboBox* intervalCombo_ = nullptr;
    QLineEdit* downloadFileEdit_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QLineEdit* addressEdit_ = nullptr;
    QLabel* elapsedText_ = nullptr;
    QLabel* runCountsText_ = nullptr;
    QRadioButton* appRadio_ = nullptr;
    QRadioButton* optionBytesRadio_ = nullptr;
    QRadioButton* otherRadio_ = nullptr;
    QButtonGroup* addressGroup_ = nullptr;
    QPushButton* refreshButton_ = nullptr;
    QCheckBox* readProtectCheck_ = nullptr;
    QCheckBox* verifyCheck_ = nullptr;
    QCheckBox* continuousCheck_ = nullptr;
};

}  // namespace pellion
