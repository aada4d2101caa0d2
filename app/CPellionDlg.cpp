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
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/Artwork.h"
#include "app/CAboutDlg.h"
#include "app/IntervalText.h"
#include "app/LanguageSetting.h"
#include "app/OperatorMessage.h"
#include "app/OwnFileVersion.h"
#include "app/PortRows.h"
#include "app/SingleLineValidator.h"
#include "app/UpperCaseValidator.h"
#include "app/Utf8Text.h"
#include "app/WindowTexts.h"
#include "engine/RunControl.h"
#include "image/DownloadBoxes.h"
#include "serial/PortDiscovery.h"
#include "ui/CListCtrlEx.h"
#include "update/UpdateNotice.h"

namespace pellion {

namespace {

bool holdsLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

constexpr const char* kAboutMenuText =
    QT_TRANSLATE_NOOP("pellion::CPellionDlg", "关于 Pellion(&A)...");
const QString kBrowseFilter = QStringLiteral("*.*HEX Files (*.hex);;BIN Files (*.bin)");

std::vector<PortIdentity> systemSerialPorts(const DiscoverySources& sources) {
    std::vector<PortIdentity> ports;
    for (const auto& entry : EnumerateSerialPorts(sources)) {
        ports.push_back({entry.displayName, entry.devicePath});
    }
    return ports;
}

std::optional<QString> askWithInputBox(QWidget* parent, const QString& portName,
                                       const QString& current) {
    bool accepted = false;
    const QString label = QInputDialog::getText(parent, windowText(kTextStationLabelCaption),
                                                windowText(kTextStationLabelPrompt).arg(portName),
                                                QLineEdit::Normal, current, &accepted);
    if (!accepted)
        return std::nullopt;
    return label;
}

// What is kept of a typed label: one line, without blanks around it, of bounded length.
std::string stationLabelOf(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return toUtf8(text.trimmed().left(static_cast<qsizetype>(kStationLabelLimit)));
}

QString chooseWithFileDialog(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), kBrowseFilter, nullptr,
                                        QFileDialog::ReadOnly);
}

}  // namespace

CPellionDlg::CPellionDlg(DialogOptions options, QWidget* parent)
    : QDialog(parent), options_(std::move(options)) {
    setObjectName(QStringLiteral("pellionDialog"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    createControls();
    arrangeControls();
    setTabOrder();
    run_ = std::make_unique<RunControl>(loop_, table_, catalogue_, *this);
    run_->SetLanguage(options_.language);

    setWindowIcon(programIcon());
    if (options_.startUpdateNotice)
        startUpdateNotice(this, fromUtf8(ownFileVersion()));
    if (options_.settingsPath.empty()) {
        const SettingsLocation location = settingsLocation();
        settingsReadPath_ = location.readPath;
        settingsPath_ = location.writePath;
    } else {
        settingsReadPath_ = settingsPath_ = options_.settingsPath;
    }
    settings_ = readSettings(settingsReadPath_);
    boot_ = parseBootSequenceTexts({fromUtf8(settings_.bootEntry), fromUtf8(settings_.bootExit)});
    setWindowTitle(fromUtf8(windowCaption(ownFileVersion())));
    initialiseControls();
    SetupPortColumns();
    table_.BuildPortTable(FillPortRows());
    restoreWindowSize();
}

CPellionDlg::~CPellionDlg() {
    shutdown();
    run_.reset();
}

void CPellionDlg::createControls() {
    auto named = [](QWidget* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };

    banner_ = new QLabel(this);
    named(banner_, "banner");
    banner_->setAlignment(Qt::AlignCenter);
    banner_->setPixmap(bannerPixmap(options_.language));

    portList_ = new ListCtrlEx::CListCtrlEx(this);
    named(portList_, "portList");
    portList_->setMinimumHeight(260);

    okButton_ = new QPushButton(tr("确定"), this);
    named(okButton_, "okButton");
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(tr("取消"), this);
    named(cancelButton_, "cancelButton");

    intervalCombo_ = new QComboBox(this);
    named(intervalCombo_, "intervalCombo");
    intervalCombo_->setEditable(true);
    intervalCombo_->setInsertPolicy(QComboBox::NoInsert);
    intervalCombo_->setFixedWidth(64);
    intervalCombo_->lineEdit()->setValidator(new SingleLineValidator(intervalCombo_));

    downloadFileEdit_ = new QLineEdit(this);
    named(downloadFileEdit_, "downloadFileEdit");
    downloadFileEdit_->setMinimumWidth(320);
    downloadFileEdit_->setValidator(new SingleLineValidator(downloadFileEdit_));
    browseButton_ = new QPushButton(tr("打开"), this);
    named(browseButton_, "browseButton");

    addressEdit_ = new QLineEdit(this);
    named(addressEdit_, "addressEdit");
    addressEdit_->setValidator(new UpperCaseValidator(addressEdit_));
    addressEdit_->setFixedWidth(84);

    elapsedText_ = new QLabel(this);
    named(elapsedText_, "elapsedText");
    elapsedText_->setMinimumWidth(130);
    runCountsText_ = new QLabel(this);
    named(runCountsText_, "runCountsText");

    appRadio_ = new QRadioButton(tr("下载APP"), this);
    named(appRadio_, "appRadio");
    optionBytesRadio_ = new QRadioButton(tr("下载选项字节文件"), this);
    named(optionBytesRadio_, "optionBytesRadio");
    otherRadio_ = new QRadioButton(tr("下载其他"), this);
    named(otherRadio_, "otherRadio");
    addressGroup_ = new QButtonGroup(this);
    addressGroup_->addButton(appRadio_);
    addressGroup_->addButton(optionBytesRadio_);
    addressGroup_->addButton(otherRadio_);

    refreshButton_ = new QPushButton(tr("刷新列表"), this);
    named(refreshButton_, "refreshButton");
    readProtectCheck_ = new QCheckBox(tr("下载后设置读保护"), this);
    named(readProtectCheck_, "readProtectCheck");
    verifyCheck_ = new QCheckBox(tr("下载后校验"), this);
    named(verifyCheck_, "verifyCheck");
    continuousCheck_ = new QCheckBox(windowText(kTextContinuous), this);
    named(continuousCheck_, "continuousCheck");

    // Drops are the window's: a file dropped on a box must not be pasted into it as text.
    for (auto* edit : {downloadFileEdit_, addressEdit_, intervalCombo_->lineEdit()}) {
        edit->setAcceptDrops(false);
    }

    connect(okButton_, &QPushButton::clicked, this, &CPellionDlg::onOk);
    connect(cancelButton_, &QPushButton::clicked, this, &CPellionDlg::reject);
    connect(refreshButton_, &QPushButton::clicked, this, &CPellionDlg::OnRefreshList);
    connect(portList_, &ListCtrlEx::CListCtrlEx::listExCheckClick, this,
            [this](ListCtrlEx::CListCtrlEx*, ListCtrlEx::CellCheckInfo info) {
                OnPortCheckClick(info.slot, info.column);
            });
    connect(portList_, &ListCtrlEx::CListCtrlEx::listExEndEdit, this,
            [this](ListCtrlEx::CListCtrlEx*, ListCtrlEx::EndEditInfo info) {
                if (!info.cancelled)
                    onCellEdited(info.slot, info.column, info.text);
            });
    // Typed, pasted or restored alike: the address box shows what a run will use.
    connect(downloadFileEdit_, &QLineEdit::textChanged, this,
            [this] { followDownloadFile(false); });
    connect(browseButton_, &QPushButton::clicked, this, &CPellionDlg::onBrowse);
    connect(appRadio_, &QRadioButton::clicked, this,
            [this] { addressEdit_->setText(kAppAddressText); });
    connect(optionBytesRadio_, &QRadioButton::clicked, this,
            [this] { addressEdit_->setText(kOptionBytesAddressText); });
    connect(otherRadio_, &QRadioButton::clicked, this, [this] { addressEdit_->clear(); });
}

void CPellionDlg::arrangeControls() {
    auto* firstRow = new QHBoxLayout;
    firstRow->addWidget(new QLabel(tr("下载间隔"), this));
    firstRow->addWidget(intervalCombo_);
    firstRow->addWidget(new QLabel(QStringLiteral("ms"), this));
    firstRow->addSpacing(12);
    firstRow->addWidget(new QLabel(tr("下载地址0x"), this));
    firstRow->addWidget(addressEdit_);
    firstRow->addSpacing(6);
    firstRow->addWidget(new QLabel(tr("下载文件"), this));
    firstRow->addWidget(downloadFileEdit_, 1);
    firstRow->addWidget(browseButton_);

    auto* secondRow = new QHBoxLayout;
    secondRow->addWidget(appRadio_);
    secondRow->addWidget(optionBytesRadio_);
    secondRow->addWidget(otherRadio_);
    secondRow->addSpacing(12);
    secondRow->addWidget(readProtectCheck_);
    secondRow->addWidget(verifyCheck_);
    secondRow->addWidget(continuousCheck_);
    secondRow->addStretch(1);
    secondRow->addWidget(refreshButton_);

    auto* optionBox = new QGroupBox(this);
    optionBox->setObjectName(QStringLiteral("optionBox"));
    auto* optionLayout = new QVBoxLayout(optionBox);
    optionLayout->setContentsMargins(8, 6, 8, 6);
    optionLayout->addLayout(firstRow);
    optionLayout->addLayout(secondRow);

    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(new QLabel(tr("用时："), this));
    bottomRow->addWidget(elapsedText_);
    bottomRow->addWidget(runCountsText_);
    bottomRow->addStretch(1);
    bottomRow->addWidget(okButton_);
    bottomRow->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 8);
    layout->addWidget(banner_);
    layout->addWidget(optionBox);
    layout->addWidget(portList_, 1);
    layout->addLayout(bottomRow);
}

void CPellionDlg::setTabOrder() {
    QWidget* order[] = {okButton_,         cancelButton_,   portList_,      intervalCombo_,
                        downloadFileEdit_, browseButton_,   addressEdit_,   appRadio_,
                        optionBytesRadio_, otherRadio_,     refreshButton_, readProtectCheck_,
                        verifyCheck_,      continuousCheck_};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void CPellionDlg::SetupPortColumns() {
    setupPortColumns(*portList_);
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
    continuousCheck_->setChecked(settings_.continuousProgramming);
}

void CPellionDlg::restoreWindowSize() {
    resize(sizeHint());
    if (settings_.windowWidth > 0 && settings_.windowHeight > 0)
        resize(settings_.windowWidth, settings_.windowHeight);
    const std::vector<int>& widths = settings_.columnWidths;
    if (static_cast<int>(widths.size()) != portList_->GetColumnCount())
        return;
    for (int column = 0; column < portList_->GetColumnCount(); ++column) {
        // The port names and station labels stay whole whatever width was saved.
        if (column != ColumnPort || widths[column] > portList_->columnWidth(column))
            portList_->setColumnWidth(column, widths[column]);
    }
    fitStationLabels(*portList_);
}

void CPellionDlg::saveSettings() {
    settings_.downloadWaitTime = toUtf8(intervalCombo_->currentText());
    settings_.downloadPath = toUtf8(downloadFileEdit_->text());
    settings_.verifyAfterDownload = verifyCheck_->isChecked();
    settings_.continuousProgramming = continuousCheck_->isChecked();
    settings_.windowWidth = width();
    settings_.windowHeight = height();
    settings_.columnWidths.clear();
    for (int column = 0; column < portList_->GetColumnCount(); ++column)
        settings_.columnWidths.push_back(portList_->columnWidth(column));
    writeSettings(settingsPath_, settings_);
}

std::vector<PortIdentity> CPellionDlg::FillPortRows() {
    QStringList partNames;
    for (const auto& name : catalogue_.partNames())
        partNames << fromUtf8(name);
    const DiscoverySources sources =
        options_.discovery.value_or(DiscoverySources::fromEnvironment());
    const std::vector<PortIdentity> ports =
        options_.listPorts ? options_.listPorts() : systemSerialPorts(sources);
    portRows_ = describePortRows(ports, sources);
    fillPortRows(*portList_, portRows_, partNames, settings_.stationLabels);
    return ports;
}

void CPellionDlg::OnPortCheckClick(int slot, int column) {
    if (column != ColumnNumber || slot < 0 || slot >= table_.slotCount())
        return;
    if (IsRowTicked(slot))
        limitInterval();
    run_->OnPortCheckClick(slot);
}

void CPellionDlg::onCellEdited(int slot, int column, const QString& text) {
    if (slot < 0 || slot >= table_.slotCount())
        return;
    if (column == ColumnBaud && IsRowTicked(slot)) {
        // An editor left open from before the run: the port keeps its rate, and so does the cell.
        if (run_->IsRunning()) {
            portList_->SetSlotText(slot, ColumnBaud,
                                   QString::number(table_.slot(slot).ports.Baud()));
            return;
        }
        limitInterval();
        run_->ReopenPort(slot);
    } else if (column == ColumnModel) {
        onModelChosen(slot, text);
    }
}

void CPellionDlg::onModelChosen(int slot, const QString& text) {
    // A hand choice is for chips that did not name themselves: a chip treated as another
    // geometry would have only part of its image's pages erased.
    const auto identified = run_->IdentifiedDevice(slot);
    if (!identified)
        return;
    const auto code = catalogue_.findCodeByPartName(toUtf8(text));
    const auto geometry = code ? catalogue_.findGeometry(*code) : std::nullopt;
    if (geometry && *geometry == identified->geometry)
        return;
    portList_->SetSlotText(slot, ColumnModel, fromUtf8(identified->partName));
    showOperatorMessage(
        this, QString::fromUtf8(kRunCaption),
        windowText(kTextModelRefused)
            .arg(fromUtf8(table_.slot(slot).portName), fromUtf8(identified->partName)));
}

void CPellionDlg::onOk() {
    if (IsStationRunning()) {
        station_->StopOrderly();  // "停止": no new chip; those at work finish
        return;
    }
    followDownloadFile(false);
    if (continuousCheck_->isChecked()) {
        startStation();
        return;
    }
    station_.reset();
    if (!downloadFileEdit_->text().isEmpty() && !anyRowTicked()) {
        showOperatorMessage(this, QString::fromUtf8(kRunCaption), windowText(kTextNoPortTicked));
        return;
    }
    if (!settings_.badBlockSize.empty()) {
        showOperatorMessage(this, QString::fromUtf8(kRunCaption),
                            windowText(kTextBadBlockSize).arg(fromUtf8(settings_.badBlockSize)));
        return;
    }
    run_->StartRun();
    if (run_->IsRunning())
        setBaudCellsEnabled(false);
}

bool CPellionDlg::anyRowTicked() const {
    for (int slot = 0; slot < table_.slotCount(); ++slot) {
        if (IsRowTicked(slot))
            return true;
    }
    return false;
}

bool CPellionDlg::mayStopRun() {
    if (!run_->IsRunning() && !IsStationRunning())
        return true;
    if (!askOperator(this, QString::fromUtf8(kRunCaption), windowText(kTextStopRunQuestion)))
        return false;
    if (IsStationRunning())
        station_->StopNow();
    return true;
}

void CPellionDlg::limitInterval() {
    if (!exceedsWritePauseLimit(toUtf8(intervalCombo_->currentText())))
        return;
    intervalCombo_->setEditText(QString::number(kMaxWritePauseMs));
    showOperatorMessage(this, QString::fromUtf8(kRunCaption),
                        windowText(kTextIntervalTooLong).arg(kMaxWritePauseMs));
}

void CPellionDlg::setBaudCellsEnabled(bool enabled) {
    for (int row = 0; row < portList_->GetItemCount(); ++row)
        portList_->GetCell(row, ColumnBaud).enabled = enabled;
    portList_->viewport()->update();
}

void CPellionDlg::OnRefreshList() {
    if (!mayStopRun())
        return;
    // Every slot's port and timers go before the slots themselves.
    station_.reset();
    run_->ShutdownPorts();
    table_.FreePortTable();
    table_.BuildPortTable(FillPortRows());
    run_->OnPortTableRebuilt();
    tally_.close();
}

void CPellionDlg::shutdown() {
    station_.reset();
    if (!table_.built())
        return;
    run_->ShutdownPorts();
    table_.FreePortTable();
}

void CPellionDlg::reject() {
    if (!mayStopRun())
        return;
    shutdown();
    saveSettings();
    QDialog::reject();
}

void CPellionDlg::closeEvent(QCloseEvent* event) {
    if (!mayStopRun()) {
        event->ignore();
        return;
    }
    // The default close processing cancels the dialog, which shuts down and saves once more.
    shutdown();
    saveSettings();
    QDialog::closeEvent(event);
}

void CPellionDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(tr(kAboutMenuText), this, &CPellionDlg::showAbout);
    menu.addAction(windowText(kTextBootMenu), this, &CPellionDlg::editBootSequences)
        ->setEnabled(!run_->IsRunning());
    menu.addAction(windowText(kTextLanguageMenu), this, &CPellionDlg::editLanguage);
    const QPoint inList = portList_->viewport()->mapFrom(this, event->pos());
    const int slot = portList_->viewport()->rect().contains(inList)
                         ? portList_->SlotOfRow(portList_->rowAt(inList.y()))
                         : -1;
    if (slot >= 0) {
        menu.addSeparator();
        menu.addAction(windowText(kTextStationLabelMenu), this,
                       [this, slot] { editStationLabel(slot); });
    }
    addStationActions(menu, slot);
    menu.exec(event->globalPos());
}

void CPellionDlg::editLanguage() {
    const auto chosen = options_.askLanguage ? options_.askLanguage(this, settings_.language)
                                             : askLanguageWithListBox(this, settings_.language);
    if (!chosen || *chosen == settings_.language)
        return;
    settings_.language = *chosen;
    saveSettings();
    showOperatorMessage(this, QString::fromUtf8(kRunCaption), windowText(kTextLanguageAtNextStart));
}

void CPellionDlg::editStationLabel(int slot) {
    if (slot < 0 || slot >= static_cast<int>(portRows_.size()))
        return;
    const PortRow& row = portRows_[slot];
    StationLabels& labels = settings_.stationLabels;
    const auto found = labels.find(row.stationKey);
    const QString current = found != labels.end() ? fromUtf8(found->second) : QString();
    const QString portName = fromUtf8(row.port.portName);
    const std::optional<QString> answer = options_.askStationLabel
                                              ? options_.askStationLabel(this, portName, current)
                                              : askWithInputBox(this, portName, current);
    if (!answer)
        return;
    const std::string label = stationLabelOf(*answer);
    if (label.empty()) {
        labels.erase(row.stationKey);
    } else {
        labels[row.stationKey] = label;
    }
    showStationLabel(*portList_, slot, label);
}

void CPellionDlg::editBootSequences() {
    const BootSequenceTexts current{fromUtf8(settings_.bootEntry), fromUtf8(settings_.bootExit)};
    const auto answer = options_.askBootSequences
                            ? options_.askBootSequences(this, current)
                            : askBootSequences(this, current, options_.language);
    if (!answer || run_->IsRunning())
        return;
    if (const QString problem = bootSequenceProblem(*answer, options_.language);
        !problem.isEmpty()) {
        showOperatorMessage(this, QString::fromUtf8(kRunCaption), problem);
        return;
    }
    settings_.bootEntry = toUtf8(answer->entry);
    settings_.bootExit = toUtf8(answer->exit);
    boot_ = parseBootSequenceTexts(*answer);
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
    applyChosenFile(path);
}

void CPellionDlg::applyChosenFile(const QString& path) {
    // Such a name could not be saved, nor typed into the box.
    if (holdsLineBreak(path)) {
        showOperatorMessage(this, QString::fromUtf8(kRunCaption),
                            windowText(kTextFileNameLineBreak));
        return;
    }
    {
        const QSignalBlocker quiet(downloadFileEdit_);
        downloadFileEdit_->setText(path);
    }
    followDownloadFile(true);
}

void CPellionDlg::followDownloadFile(bool reportProblem) {
    const DownloadBoxes boxes = boxesForChosenFile(toUtf8(downloadFileEdit_->text()));
    if (boxes.addressText)
        addressEdit_->setText(fromUtf8(*boxes.addressText));
    if (boxes.addressControlsEnabled)
        setAddressControlsEnabled(*boxes.addressControlsEnabled);
    // A HEX file whose start cannot be found would otherwise only leave an empty address box.
    if (reportProblem && !boxes.problem.empty())
        showOperatorMessage(this, QString::fromUtf8(kRunCaption),
                            fromUtf8(boxes.problem.words(options_.language)));
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
    // Only one file, released strictly inside the download-file box, counts.
    if (paths.size() != 1 || paths.front().isEmpty())
        return;
    const QRect box(downloadFileEdit_->mapTo(this, QPoint(0, 0)), downloadFileEdit_->size());
    const bool inside = position.x() > box.left() && position.x() < box.left() + box.width() &&
                        position.y() > box.top() && position.y() < box.top() + box.height();
    if (!inside)
        return;
    applyChosenFile(paths.front());
}

}  // namespace pellion
