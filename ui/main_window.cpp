// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_window.hpp"

#include "app/restored_settings.hpp"
#include "app/serial_control.hpp"
#include "app/settings_store.hpp"
#include "buffer/config_bytes.hpp"
#include "buffer/hex_text.hpp"
#include "options/option_rules.hpp"
#include "texts/operation_texts.hpp"
#include "texts/view_texts.hpp"
#include "ui/clickable_label.hpp"
#include "ui/dialogs.hpp"
#include "ui/status_label.hpp"
#include "ui/window_icon.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include <algorithm>
#include <cmath>

namespace tessaline {

namespace {

// Client area at 96 DPI.
constexpr int kClientWidth = 473;
constexpr int kClientHeight = 409;

// Lefts of the seven columns of the configuration grid.
constexpr std::array<int, 7> kGridLefts{272, 300, 328, 356, 384, 412, 440};

QColor rgb(int r, int g, int b) {
    return {r, g, b};
}

void setBackground(QWidget* widget, const QColor& color) {
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    palette.setColor(QPalette::Base, color);
    widget->setPalette(palette);
}

// Courier New at 9.75 points where the system has it (or maps it to a metric twin),
// otherwise the system's fixed-pitch font at that size.
QFont viewFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    if (!QFontInfo(font).fixedPitch())
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(9.75);
    return font;
}

} // namespace

WindowView::~WindowView() = default;

Form1::Form1(ProgrammerState& state, SettingsStore& settings, SerialControl& port, Dialogs& dialogs,
             QWidget* parent)
    : QMainWindow(parent), m_state(state), m_settings(settings), MSComm1(port), m_dialogs(dialogs),
      m_operations(state, port, dialogs, *this),
      m_files(state, settings, dialogs, *this, m_operations),
      m_editors(state, dialogs, *this, m_operations),
      m_options(state, settings, port, dialogs, *this, m_files),
      m_configBits(state, dialogs, *this), m_help(state.app.AppTitle, dialogs) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && screen->logicalDotsPerInchY() > 0)
        m_scale = screen->logicalDotsPerInchY() / 96.0;
    setWindowTitle(QString::fromStdString(m_state.app.AppTitle));
    setWindowIcon(appIcon());
    buildMenus();
    buildControls();
    setTabOrder();
    m_statusTimer.setSingleShot(true);
    connect(&m_statusTimer, &QTimer::timeout, this, &Form1::showStatusNow);
    setAcceptDrops(true);
    m_operations.selectModel = [this](std::int32_t number) { m_options.selectModel(number); };
    m_options.portOpened = [this] { m_operations.portOpened(); };
    m_options.detectUnit = [this] { return m_operations.detectUnit(); };
    // A port that failed may still count as open: it is closed before it opens again.
    m_operations.reopenPort = [this] {
        MSComm1.setPortOpen(false);
        m_options.openSerialPort();
    };
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (m_operations.running())
            m_operations.stop();
    });
    m_pendingTimer.setSingleShot(true);
    connect(&m_pendingTimer, &QTimer::timeout, this, &Form1::openPendingFiles);
}

Form1::~Form1() = default;

void Form1::buildMenus() {
    auto addMenu = [this](const char* name, const QString& caption) {
        QMenu* menu = menuBar()->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        return menu;
    };
    auto addItem = [this](QMenu* menu, const char* name, const QString& caption, auto handler) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
    };
    menu1 = addMenu("menu1", QStringLiteral("&File"));
    addItem(menu1, "menuclear", QStringLiteral("&Clear Buffer"),
            [this] { m_files.menuclear_Click(); });
    addItem(menu1, "menuopen", QStringLiteral("&Open HEX File"),
            [this] { m_files.menuopen_Click(); });
    addItem(menu1, "menusave", QStringLiteral("&Save Buffer As"),
            [this] { m_files.menusave_Click(); });
    menu2 = addMenu("menu2", QStringLiteral("&Edit"));
    addItem(menu2, "menueditflash", QStringLiteral("&FLASH Memory Location"),
            [this] { m_editors.menueditflash_Click(); });
    addItem(menu2, "menuediteeprom", QStringLiteral("&EEPROM Memory Location"),
            [this] { m_editors.menuediteeprom_Click(); });
    menu3 = addMenu("menu3", QStringLiteral("&Tools"));
    addItem(menu3, "menuprogram", QStringLiteral("&Program All"),
            [this] { m_operations.Command1_Click(); });
    addItem(menu3, "menuread", QStringLiteral("&Read All"),
            [this] { m_operations.Command2_Click(); });
    addItem(menu3, "menuerase", QStringLiteral("&Erase All"),
            [this] { m_operations.Command3_Click(); });
    addItem(menu3, "menublank", QStringLiteral("&Blank Check"),
            [this] { m_operations.Command4_Click(); });
    addItem(menu3, "menuverify", QStringLiteral("&Verify"),
            [this] { m_operations.Command5_Click(); });
    menu3->addSeparator();
    addItem(menu3, "menuidentify", QStringLiteral("&Identify Chip"),
            [this] { m_operations.menuidentify_Click(); });
    menu4 = addMenu("menu4", QStringLiteral("&Options"));
    addItem(menu4, "menumodel", QStringLiteral("Change Microcontroller Model"),
            [this] { m_options.menumodel_Click(); });
    addItem(menu4, "menuport", QStringLiteral("Change Serial Port Number"),
            [this] { m_options.menuport_Click(); });
    addItem(menu4, "menubaud", QStringLiteral("Change Baud Rate"),
            [this] { m_options.menubaud_Click(); });
    addItem(menu4, "menuprogtime", QStringLiteral("Change Default Programming Time"),
            [this] { m_options.menuprogtime_Click(); });
    addItem(menu4, "menuconfigbits", QStringLiteral("Configuration &Bits\u2026"),
            [this] { m_configBits.menuconfigbits_Click(); });
    addItem(menu4, "menuunitdelay", QStringLiteral("Change Unit Start-Up Delay"),
            [this] { m_options.menuunitdelay_Click(); });
    addItem(menu4, "menuunit", QStringLiteral("Programmer &Unit\u2026"),
            [this] { m_options.menuunit_Click(); });
    menu4->addSeparator();
    menuverifyafter = menu4->addAction(QStringLiteral("&Verify after Program All"));
    menuverifyafter->setObjectName(QStringLiteral("menuverifyafter"));
    menuverifyafter->setCheckable(true);
    menuverifyafter->setChecked(true);
    connect(menuverifyafter, &QAction::toggled, this, [this](bool checked) {
        m_operations.setVerifyAfterProgram(checked);
        m_options.menuverifyafter_Toggled(checked);
    });
    menu5 = addMenu("menu5", QStringLiteral("Help"));
    addItem(menu5, "menuportinfo", QStringLiteral("Serial Port Pinout"),
            [this] { m_help.menuportinfo_Click(); });
    addItem(menu5, "menuabout", QStringLiteral("About Quenvar Tessaline"),
            [this] { m_help.menuabout_Click(); });
}

void Form1::buildControls() {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    QFont labelFont = client->font();
    labelFont.setPointSizeF(8.25);
    client->setFont(labelFont);

    auto place = [this](QWidget* widget, int left, int top, int width, int height) {
        widget->setGeometry(static_cast<int>(std::lround(left * m_scale)),
                            static_cast<int>(std::lround(top * m_scale)),
                            static_cast<int>(std::lround(width * m_scale)),
                            static_cast<int>(std::lround(height * m_scale)));
    };
    auto label = [&](const QString& name, const QString& caption, int left, int top, int width,
                     int height, const QColor& background) {
        auto* widget = new QLabel(caption, client);
        widget->setObjectName(name);
        place(widget, left, top, width, height);
        setBackground(widget, background);
        return widget;
    };
    auto clickable = [&](const QString& name, const QString& caption, int left, int top, int width,
                         int height, const QColor& background, const QString& toolTip) {
        auto* widget = new ClickableLabel(caption, client);
        widget->setObjectName(name);
        place(widget, left, top, width, height);
        setBackground(widget, background);
        widget->setToolTip(toolTip);
        return widget;
    };
    auto button = [&](const QString& name, const QString& caption, int left, int top, int width,
                      int height) {
        auto* widget = new QPushButton(caption, client);
        widget->setObjectName(name);
        place(widget, left, top, width, height);
        return widget;
    };
    const QColor white = rgb(255, 255, 255);
    const QColor green = rgb(192, 255, 192);
    const QString reload = QStringLiteral("Click to reload");

    auto* Label7 = clickable(QStringLiteral("Label7"), QStringLiteral("Loaded HEX File"), 4, 8, 117,
                             17, green, reload);
    label_hex = clickable(QStringLiteral("label_hex"), QString(), 124, 8, 345, 17, white, reload);
    for (ClickableLabel* loaded : {Label7, label_hex})
        connect(loaded, &ClickableLabel::clicked, this, [this] { m_files.reload_Click(); });
    Command1 = button(QStringLiteral("Command1"), QStringLiteral("Program All"), 4, 32, 77, 21);
    Command2 = button(QStringLiteral("Command2"), QStringLiteral("Read All"), 84, 32, 73, 21);
    Command3 = button(QStringLiteral("Command3"), QStringLiteral("Erase All"), 160, 32, 73, 21);
    Command4 = button(QStringLiteral("Command4"), QStringLiteral("Blank Check"), 236, 32, 77, 21);
    Command5 = button(QStringLiteral("Command5"), QStringLiteral("Verify"), 316, 32, 73, 21);
    connect(Command1, &QPushButton::clicked, this, [this] { m_operations.Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { m_operations.Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { m_operations.Command3_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { m_operations.Command4_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { m_operations.Command5_Click(); });
    label(QStringLiteral("Label1"), QStringLiteral("Microcontroller Model"), 4, 60, 137, 17,
          rgb(224, 224, 224));
    label_ime = label(QStringLiteral("label_ime"), QStringLiteral("18F452"), 144, 60, 93, 17,
                      rgb(255, 192, 192));
    label_info = label(QStringLiteral("label_info"), QStringLiteral("FLASH: 32768,  EEPROM: 256"),
                       240, 60, 229, 17, rgb(255, 255, 192));
    label(QStringLiteral("Label3"), QStringLiteral("FLASH Memory"), 4, 84, 105, 17,
          rgb(255, 224, 192));

    // The focus holder sits under the top-left corner of the FLASH view.
    Command0 = button(QStringLiteral("Command0"), QStringLiteral("X"), 4, 104, 17, 17);
    const QFont fixed = viewFont();
    tabla_flash = new QPlainTextEdit(client);
    tabla_flash->setObjectName(QStringLiteral("tabla_flash"));
    place(tabla_flash, 4, 104, 465, 137);
    tabla_flash->setFont(fixed);
    tabla_flash->setLineWrapMode(QPlainTextEdit::NoWrap);
    tabla_flash->setPlainText(
        QStringLiteral("000000: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF"));

    label(QStringLiteral("Label4"), QStringLiteral("EEPROM Memory"), 4, 244, 105, 17,
          rgb(255, 224, 192));
    tabla_eeprom = new QPlainTextEdit(client);
    tabla_eeprom->setObjectName(QStringLiteral("tabla_eeprom"));
    place(tabla_eeprom, 4, 264, 257, 137);
    tabla_eeprom->setFont(fixed);
    tabla_eeprom->setLineWrapMode(QPlainTextEdit::NoWrap);
    tabla_eeprom->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setBackground(tabla_eeprom, white);
    tabla_eeprom->setPlainText(QStringLiteral("0000: FF FF FF FF FF FF FF FF\n"));
    // The views only show the buffer: no caret, no typing, no dropped text and no editing
    // actions in their menu; selecting and copying stay. A file dropped on them reaches
    // the window.
    for (QPlainTextEdit* view : {tabla_flash, tabla_eeprom}) {
        view->setReadOnly(true);
        view->setTextInteractionFlags(Qt::TextSelectableByMouse);
        view->setUndoRedoEnabled(false);
        view->setAcceptDrops(false);
        view->viewport()->setAcceptDrops(false);
        view->installEventFilter(this);
    }

    label(QStringLiteral("Label2"), QStringLiteral("Configuration Bytes"), 272, 248, 117, 17,
          green);
    for (int k = 0; k < kConfigByteCount; ++k) {
        const int column = k % 7;
        const int captionTop = k < 7 ? 272 : 316;
        const int left = kGridLefts[static_cast<std::size_t>(column)];
        const auto& info = kConfigBytes[static_cast<std::size_t>(k)];
        // The captions are Label6, then Label8 .. Label20.
        label(QStringLiteral("Label%1").arg(k == 0 ? 6 : 7 + k),
              QString::fromLatin1(info.gridCaption.data(),
                                  static_cast<qsizetype>(info.gridCaption.size())),
              left, captionTop, 25, 17, green);
        auto* value =
            clickable(QStringLiteral("label_") +
                          QString::fromLatin1(info.scriptName.data(),
                                              static_cast<qsizetype>(info.scriptName.size()))
                              .replace(QStringLiteral("config"), QStringLiteral("conf")),
                      QStringLiteral("FF"), left, captionTop + 20, 25, 17, white,
                      QStringLiteral("Click to edit!"));
        configLabels[static_cast<std::size_t>(k)] = value;
        connect(value, &ClickableLabel::clicked, this,
                [this, k] { m_editors.editConfigByte(static_cast<std::size_t>(k)); });
    }
    label(QStringLiteral("Label5"), QStringLiteral("Status"), 348, 364, 117, 17,
          rgb(255, 192, 192));
    label_status = new StatusLabel(client);
    label_status->setObjectName(QStringLiteral("label_status"));
    place(label_status, 348, 384, 117, 17);
    setBackground(label_status, white);
    m_statusGeometry = label_status->geometry();
    // A status that does not fit (a port error and its reason) takes the free room to the
    // left, and above over the caption; what that cannot hold, the window grows for.
    place(label_status, 265, 357, 200, 44);
    m_wideStatusGeometry = label_status->geometry();
    label_status->setGeometry(m_statusGeometry);
    CommandStop = button(QStringLiteral("CommandStop"), QStringLiteral("Stop"), 348, 362, 117, 21);
    CommandStop->setToolTip(QStringLiteral("Stop the operation (Esc)"));
    CommandStop->setFocusPolicy(Qt::NoFocus);
    CommandStop->hide();
    connect(CommandStop, &QPushButton::clicked, this, [this] { m_operations.stop(); });

    m_clientSize = QSize(static_cast<int>(std::lround(kClientWidth * m_scale)),
                         static_cast<int>(std::lround(kClientHeight * m_scale)));
    growClient(0);
}

void Form1::growClient(int extraHeight) {
    const QSize size(m_clientSize.width(), m_clientSize.height() + extraHeight);
    if (centralWidget()->minimumSize() == size)
        return;
    centralWidget()->setFixedSize(size);
    setFixedSize(size.width(), size.height() + menuBar()->sizeHint().height());
}

void Form1::setTabOrder() {
    for (QLabel* widget : findChildren<QLabel*>())
        widget->setFocusPolicy(Qt::NoFocus);
    QWidget::setTabOrder(Command0, Command1);
    QWidget::setTabOrder(Command1, Command2);
    QWidget::setTabOrder(Command2, Command3);
    QWidget::setTabOrder(Command3, Command4);
    QWidget::setTabOrder(Command4, Command5);
    QWidget::setTabOrder(Command5, tabla_eeprom);
    QWidget::setTabOrder(tabla_eeprom, tabla_flash);
    Command0->setFocus();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // The views never keep the keyboard focus, so they never show a caret or take typed
    // input: the buffer changes only through the editors, loads and reads.
    if (event->type() == QEvent::FocusIn && (watched == tabla_flash || watched == tabla_eeprom)) {
        Command0->setFocus();
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

namespace {

// The one local file of a drag, or nothing: several files, text or a web address are no
// file to open.
QString draggedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl& url = data->urls().constFirst();
    return url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : QString();
}

} // namespace

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (!busy() && !draggedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    const QString file = draggedFile(event->mimeData());
    if (busy() || file.isEmpty())
        return;
    event->acceptProposedAction();
    // The drag ends before any message box of the load shows.
    QTimer::singleShot(0, this, [this, file] {
        if (busy())
            return;
        m_files.openDroppedFile(file.toStdString());
    });
}

bool Form1::busy() const {
    return !menu1->menuAction()->isEnabled() || m_operations.running() ||
           QApplication::activeModalWidget() != nullptr;
}

void Form1::openFromDesktop(const QString& file) {
    m_pendingFiles.append(file);
    m_pendingTimer.start(0);
}

void Form1::openPendingFiles() {
    if (m_pendingFiles.isEmpty())
        return;
    // A file that arrives while the window is busy waits: it would change the buffer
    // under an operation or behind an open dialog.
    constexpr int kRetryMs = 200;
    if (busy()) {
        m_pendingTimer.start(kRetryMs);
        return;
    }
    const QString file = m_pendingFiles.takeFirst();
    m_files.openHexFile(file.toStdString());
    if (!m_pendingFiles.isEmpty())
        m_pendingTimer.start(0);
}

void Form1::bringToFront() {
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void Form1::letPendingEventsRun() {
    QCoreApplication::processEvents();
}

void Form1::setStatus(const std::string& text) {
    m_pendingStatus = text;
    m_statusTimer.stop();
    showStatusNow();
}

void Form1::setProgressStatus(const std::string& text) {
    m_pendingStatus = text;
    // Progress texts come once per round trip to the unit, far more often than a screen
    // shows them: at most one per 16 ms, and the last one always.
    constexpr qint64 kRefreshMs = 16;
    if (!m_statusShown.isValid() || m_statusShown.elapsed() >= kRefreshMs) {
        m_statusTimer.stop();
        showStatusNow();
    } else if (!m_statusTimer.isActive()) {
        m_statusTimer.start(static_cast<int>(kRefreshMs - m_statusShown.elapsed()));
    }
}

void Form1::showStopControl(bool shown) {
    CommandStop->setVisible(shown);
}

void Form1::closeEvent(QCloseEvent* event) {
    const std::optional<OperationKind> kind = m_operations.runningKind();
    if (!kind) {
        m_operations.dropHeldStart();
        QMainWindow::closeEvent(event);
        return;
    }
    // The window closes once the operation has stopped; until then it stays, and a
    // second close asks nothing. The operation goes on while the question is open: a
    // question that waited would hold the chip powered in the middle of a step.
    event->ignore();
    if (m_operations.closing() || m_closeQuestionOpen)
        return;
    m_closeQuestionOpen = true;
    m_dialogs.askYesNoLater(operationName(*kind) +
                                " is running. Stop it and quit?\r\nThe programmer unit removes "
                                "the voltages first.",
                            [this](bool yes) {
                                m_closeQuestionOpen = false;
                                if (yes)
                                    m_operations.stopForClose([this] { close(); });
                            });
}

void Form1::quitOnSignal(int signalNumber) {
    // Nothing is asked: a dialog that waits for the user (a check's message, the close
    // question) is closed as if dismissed, so that the operation reaches its next idle
    // point, stops there and powers the unit down; then the program ends.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (!modal->close())
            break;
    }
    const int status = 128 + signalNumber;
    m_operations.stopForClose([this, status] {
        if (exitProgram)
            exitProgram(status);
    });
}

void Form1::setStatusToolTip(const std::string& text) {
    label_status->setToolTip(QString::fromStdString(text));
}

std::string Form1::loadedFile() const {
    return label_hex->text().toStdString();
}

void Form1::setLoadedFile(const std::string& name) {
    label_hex->setText(QString::fromStdString(name));
}

void Form1::showStatusNow() {
    const QString text = QString::fromStdString(m_pendingStatus);
    label_status->setText(text);
    const bool wide = label_status->fontMetrics().horizontalAdvance(text) >
                      m_statusGeometry.width() - 2 * label_status->margin();
    if (wide != label_status->wordWrap()) {
        label_status->setWordWrap(wide);
        label_status->setAlignment(wide ? Qt::AlignLeft | Qt::AlignBottom
                                        : Qt::AlignLeft | Qt::AlignVCenter);
        label_status->raise();
    }
    // A reason longer than the wide room holds (a long path, the program that holds the
    // port) makes the window taller, so that all of it can be read.
    QRect geometry = wide ? m_wideStatusGeometry : m_statusGeometry;
    if (wide)
        geometry.setHeight(
            std::max(geometry.height(), label_status->heightForWidth(geometry.width())));
    growClient(std::max(0, geometry.bottom() - m_wideStatusGeometry.bottom()));
    label_status->setGeometry(geometry);
    m_statusShown.start();
}

void Form1::updatedisplay() {
    label_ime->setText(QString::fromStdString(m_state.model.SelectedModelName));
    label_info->setText(
        QString::fromStdString(infoText(m_state.buffer.FlashSize, m_state.buffer.EepromSize)));
    tabla_flash->clear();
    tabla_eeprom->clear();
    for (ClickableLabel* value : configLabels)
        value->clear();
    letPendingEventsRun();
    tabla_flash->setPlainText(QString::fromLatin1(flashViewText(m_state.buffer)));
    tabla_eeprom->setPlainText(QString::fromLatin1(eepromViewText(m_state.buffer)));
    for (std::size_t k = 0; k < configLabels.size(); ++k) {
        const std::int32_t value = m_state.buffer.Config[k];
        configLabels[k]->setText(QString::fromStdString(Hex2(value)));
        configLabels[k]->setToolTip(
            QString::fromStdString(configLabelToolTip(m_state.model.Settings, k, value)));
    }
    letPendingEventsRun();
}

void Form1::disable() {
    Command0->setFocus();
    m_locked = true;
    for (QMenu* menu : {menu1, menu2, menu4, menu5})
        menu->menuAction()->setEnabled(false);
    updateOperationControls();
    letPendingEventsRun();
}

void Form1::enable() {
    Command0->setFocus();
    m_locked = false;
    for (QMenu* menu : {menu1, menu2, menu4, menu5})
        menu->menuAction()->setEnabled(true);
    updateOperationControls();
    letPendingEventsRun();
}

void Form1::updateOperationControls() {
    const bool usable = !m_locked && !MSComm1.starting();
    menu3->menuAction()->setEnabled(usable);
    for (QPushButton* button : {Command1, Command2, Command3, Command4, Command5})
        button->setEnabled(usable);
}

void Form1::Form_Load() {
    show();
    letPendingEventsRun();
    ApplicationValues& app = m_state.app;
    const RestoredSettings restored =
        restoreSettings(&m_settings, static_cast<std::int32_t>(m_state.deviceTable.size()),
                        app.ProgramFolder, StoreRepair::WriteBack);
    app.LastPath = restored.lastPath;
    app.SelectedModel = restored.model;
    ApplySelectedModel(m_state.selectedRecord(), m_state.model);
    m_files.menuclear_Click();
    app.PortNumber = restored.portNumber;
    app.BaudRate = restored.baudRate;
    app.UnitDelayMs = restored.unitDelayMs;
    menuverifyafter->setChecked(restored.verifyAfterProgram);
    m_operations.setVerifyAfterProgram(restored.verifyAfterProgram);
    m_options.openSerialPort();
    // Notifications are on from the start, so that a byte arriving before the first
    // operation is read and dropped rather than left for that operation.
    MSComm1.setReceiveThreshold(1);
}

} // namespace tessaline
