#include "app/CPellionDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/Artwork.h"
#include "app/CAboutDlg.h"
#include "app/OwnFileVersion.h"
#include "app/UpperCaseValidator.h"

namespace pellion {

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), text.size());
}
std::string toUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

const QString kAboutMenuText = QStringLiteral("关于 Pellion(&A)...");
const QString kBrowseFilter = QStringLiteral("*.*HEX Files (*.hex);;BIN Files (*.bin)");

QString chooseWithFileDialog(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), kBrowseFilter, nullptr,
                                        QFileDialog::ReadOnly);
}

}  // namespace

CPellionDlg::CPellionDlg(DialogOptions options, QWidget* parent)
    : QDialog(parent), options_(std::move(options)) {
    setObjectName(QStringLiteral("pellionDialog"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    createControls();
    arrangeControls();
    setTabOrder();

    setWindowIcon(programIcon());
    settingsPath_ = options_.settingsPath.empty() ? settingsFilePath() : options_.settingsPath;
    settings_ = readSettings(settingsPath_);
    setWindowTitle(fromUtf8(windowCaption(ownFileVersion())));
    initialiseControls();
    setFixedSize(sizeHint());
}

CPellionDlg::~CPellionDlg() {
    shutdown();
}

void CPellionDlg::createControls() {
    auto named = [](QWidget* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };

    banner_ = new QLabel(this);
    named(banner_, "banner");
    banner_->setAlignment(Qt::AlignCenter);
    banner_->setPixmap(bannerPixmap());

    okButton_ = new QPushButton(QStringLiteral("确定"), this);
    named(okButton_, "okButton");
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("取消"), this);
    named(cancelButton_, "cancelButton");

    intervalCombo_ = new QComboBox(this);
    named(intervalCombo_, "intervalCombo");
    intervalCombo_->setEditable(true);
    intervalCombo_->setInsertPolicy(QComboBox::NoInsert);
    intervalCombo_->setFixedWidth(64);

    downloadFileEdit_ = new QLineEdit(this);
    named(downloadFileEdit_, "downloadFileEdit");
    downloadFileEdit_->setMinimumWidth(320);
    browseButton_ = new QPushButton(QStringLiteral("打开"), this);
    named(browseButton_, "browseButton");

    addressEdit_ = new QLineEdit(this);
    named(addressEdit_, "addressEdit");
    addressEdit_->setValidator(new UpperCaseValidator(addressEdit_));
    addressEdit_->setFixedWidth(84);

    elapsedText_ = new QLabel(this);
    named(elapsedText_, "elapsedText");
    elapsedText_->setMinimumWidth(130);

    appRadio_ = new QRadioButton(QStringLiteral("下载APP"), this);
    named(appRadio_, "appRadio");
    optionBytesRadio_ = new QRadioButton(QStringLiteral("下载选项字节文件"), this);
    named(optionBytesRadio_, "optionBytesRadio");
    otherRadio_ = new QRadioButton(QStringLiteral("下载其他"), this);
    named(otherRadio_, "otherRadio");
    addressGroup_ = new QButtonGroup(this);
    addressGroup_->addButton(appRadio_);
    addressGroup_->addButton(optionBytesRadio_);
    addressGroup_->addButton(otherRadio_);

    refreshButton_ = new QPushButton(QStringLiteral("刷新列表"), this);
    named(refreshButton_, "refreshButton");
    readProtectCheck_ = new QCheckBox(QStringLiteral("下载后设置读保护"), this);
    named(readProtectCheck_, "readProtectCheck");
    verifyCheck_ = new QCheckBox(QStringLiteral("下载后校验"), this);
    named(verifyCheck_, "verifyCheck");

    // Drops are the window's: a file dropped on a box must not be pasted into it as text.
    for (auto* edit : {downloadFileEdit_, addressEdit_, intervalCombo_->lineEdit()}) {
        edit->setAcceptDrops(false);
    }

    connect(cancelButton_, &QPushButton::clicked, this, &CPellionDlg::reject);
    connect(browseButton_, &QPushButton::clicked, this, &CPellionDlg::onBrowse);
    connect(appRadio_, &QRadioButton::clicked, this,
            [this] { addressEdit_->setText(kAppAddressText); });
    connect(optionBytesRadio_, &QRadioButton::clicked, this,
            [this] { addressEdit_->setText(kOptionBytesAddressText); });
    connect(otherRadio_, &QRadioButton::clicked, this, [this] { addressEdit_->clear(); });
}

void CPellionDlg::arrangeControls() {
    auto* firstRow = new QHBoxLayout;
    firstRow->addWidget(new QLabel(QStringLiteral("下载间隔"), this));
    firstRow->addWidget(intervalCombo_);
    firstRow->addWidget(new QLabel(QStringLiteral("ms"), this));
    firstRow->addSpacing(12);
    firstRow->addWidget(new QLabel(QStringLiteral("下载地址0x"), this));
    firstRow->addWidget(addressEdit_);
    firstRow->addSpacing(6);
    firstRow->addWidget(new QLabel(QStringLiteral("下载文件"), this));
    firstRow->addWidget(downloadFileEdit_, 1);
    firstRow->addWidget(browseButton_);

    auto* secondRow = new QHBoxLayout;
    secondRow->addWidget(appRadio_);
    secondRow->addWidget(optionBytesRadio_);
    secondRow->addWidget(otherRadio_);
    secondRow->addSpacing(12);
    secondRow->addWidget(readProtectCheck_);
    secondRow->addWidget(verifyCheck_);
    secondRow->addStretch(1);
    secondRow->addWidget(refreshButton_);

    auto* optionBox = new QGroupBox(this);
    optionBox->setObjectName(QStringLiteral("optionBox"));
    auto* optionLayout = new QVBoxLayout(optionBox);
    optionLayout->setContentsMargins(8, 6, 8, 6);
    optionLayout->addLayout(firstRow);
    optionLayout->addLayout(secondRow);

    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(new QLabel(QStringLiteral("用时："), this));
    bottomRow->addWidget(elapsedText_);
    bottomRow->addStretch(1);
    bottomRow->addWidget(okButton_);
    bottomRow->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 8);
    layout->addWidget(banner_);
    layout->addWidget(optionBox);
    layout->addLayout(bottomRow);
}

void CPellionDlg::setTabOrder() {
    QWidget* order[] = {okButton_,     cancelButton_,  intervalCombo_,    downloadFileEdit_,
                        browseButton_, addressEdit_,   appRadio_,         optionBytesRadio_,
                        otherRadio_,   refreshButton_, readProtectCheck_, verifyCheck_};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void CPellionDlg::initialiseControls() {
    intervalCombo_->addItems(kIntervalItems);
    intervalCombo_->setCurrentIndex(0);
    // A saved interval need not be one of the items; it is shown as it was saved.
    if (!settings_.downloadWaitTime.empty()) {
        intervalCombo_->setEditText(fromUtf8(settings_.downloadWaitTime));
    }
    addressEdit_->setText(kAppAddressText);
    appRadio_->setChecked(true);
    downloadFileEdit_->setText(fromUtf8(settings_.downloadPath));
    verifyCheck_->setChecked(settings_.verifyAfterDownload);
}

void CPellionDlg::saveSettings() {
    settings_.downloadWaitTime = toUtf8(intervalCombo_->currentText());
    settings_.downloadPath = toUtf8(downloadFileEdit_->text());
    settings_.verifyAfterDownload = verifyCheck_->isChecked();
    writeSettings(settingsPath_, settings_);
}

void CPellionDlg::shutdown() {}

void CPellionDlg::reject() {
    shutdown();
    saveSettings();
    QDialog::reject();
}

void CPellionDlg::closeEvent(QCloseEvent* event) {
    // The default close processing cancels the dialog, which shuts down and saves once more.
    shutdown();
    saveSettings();
    QDialog::closeEvent(event);
}

void CPellionDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(kAboutMenuText, this, &CPellionDlg::showAbout);
    menu.exec(event->globalPos());
}

void CPellionDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        showAbout();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CPellionDlg::showAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CPellionDlg::setAddressControlsEnabled(bool enabled) {
    for (QWidget* widget :
         {static_cast<QWidget*>(addressEdit_), static_cast<QWidget*>(appRadio_),
          static_cast<QWidget*>(optionBytesRadio_), static_cast<QWidget*>(otherRadio_)}) {
        widget->setEnabled(enabled);
    }
}

void CPellionDlg::onBrowse() {
    const QString path = options_.chooseDownloadFile ? options_.chooseDownloadFile(this)
                                                     : chooseWithFileDialog(this);
    if (path.isEmpty())
        return;
    // TODO
    downloadFileEdit_->setText(path);
}

void CPellionDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CPellionDlg::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        paths << url.toLocalFile();
    onDropFiles(paths, event->position().toPoint());
    event->acceptProposedAction();
}

void CPellionDlg::onDropFiles(const QStringList& paths, const QPoint& position) {
    (void)paths;
    (void)position;
}

}  // namespace pellion
