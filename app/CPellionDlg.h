#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "app/SettingsFile.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace pellion {

// What the window takes from outside; the defaults are those of the real program.
struct DialogOptions {
    // Empty: settingsFilePath().
    std::string settingsPath;
    // Asks the operator for a download file; an empty result means cancelled. Empty function:
    // the platform's open-file dialog.
    std::function<QString(QWidget* parent)> chooseDownloadFile;
    // Whether the window starts the update notice at its initialisation.
    bool startUpdateNotice = true;
};

// The interval choices of the "下载间隔" combo, in milliseconds.
inline const QStringList kIntervalItems = {"0",  "1",  "2",  "3",  "4",   "5",   "10",  "15", "20",
                                           "25", "30", "40", "50", "100", "200", "300", "400"};
inline const QString kAppAddressText = QStringLiteral("8000000");
inline const QString kOptionBytesAddressText = QStringLiteral("1FFFF800");

// The main window: one fixed-size dialog with the option row, the port list and OK/Cancel.
class CPellionDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CPellionDlg(DialogOptions options = {}, QWidget* parent = nullptr);
    ~CPellionDlg() override;

    const std::string& settingsPath() const { return settingsPath_; }

    // Cancel and Escape: shutdown, saving the settings, end of the dialog.
    void reject() override;

    // The "打开" button.
    void onBrowse();
    // A file list dropped at `position` (dialog coordinates).
    void onDropFiles(const QStringList& paths, const QPoint& position);

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
    void initialiseControls();
    void saveSettings();
    void shutdown();
    void showAbout();
    void setAddressControlsEnabled(bool enabled);

    DialogOptions options_;
    std::string settingsPath_;
    SavedSettings settings_;

    QLabel* banner_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QComboBox* intervalCombo_ = nullptr;
    QLineEdit* downloadFileEdit_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QLineEdit* addressEdit_ = nullptr;
    QLabel* elapsedText_ = nullptr;
    QRadioButton* appRadio_ = nullptr;
    QRadioButton* optionBytesRadio_ = nullptr;
    QRadioButton* otherRadio_ = nullptr;
    QButtonGroup* addressGroup_ = nullptr;
    QPushButton* refreshButton_ = nullptr;
    QCheckBox* readProtectCheck_ = nullptr;
    QCheckBox* verifyCheck_ = nullptr;
};

}  // namespace pellion
