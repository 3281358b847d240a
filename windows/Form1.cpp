#include "windows/Form1.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>

#include "capture/PollCycle.h"
#include "capture/PortMessages.h"
#include "capture/PortNumber.h"
#include "platform/Utf8Path.h"
#include "platform/qt/QtPictureLoader.h"
#include "ui_Form1.h"
#include "windows/Form2.h"

namespace kvd {

namespace {

constexpr int PollIntervalMs = 500;
// How long the typing of a device path pauses before the path is opened.
constexpr int PathPauseMs = 700;

// The one local file a drag carries, or nothing: several files, a folder, a web
// address or a piece of text are not something the window can show.
std::optional<QString> DroppedFile(const QMimeData* data) {
    if (data == nullptr || data->urls().size() != 1 || !data->urls().front().isLocalFile())
        return std::nullopt;
    const QString path = data->urls().front().toLocalFile();
    if (QFileInfo(path).isDir())
        return std::nullopt;
    return path;
}

} // namespace

class Form1::DialogScope {
public:
    explicit DialogScope(Form1& form) : form_(form) { form_.waiting_.dialogOpened(); }
    ~DialogScope() {
        form_.waiting_.dialogClosed();
        form_.ShowWaitingLater();
    }
    DialogScope(const DialogScope&) = delete;
    DialogScope& operator=(const DialogScope&) = delete;

private:
    Form1& form_;
};

Form1::Form1(Services& services, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::Form1>()),
      services_(services), saveServices_{services.dialog, services.files, services.box,
                                         services.disk},
      arrivalServices_{saveServices_, services.pictures, services.tempImagePath},
      loadServices_{services.dialog, services.pictures, services.box}, link_(services.comm) {
    ui_->setupUi(this);
    caption_ = windowTitle();
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(PollIntervalMs);
    Timer1->start();
    connect(Timer1, &QTimer::timeout, this, &Form1::OnPollTick);

    pathPause_ = new QTimer(this);
    pathPause_->setSingleShot(true);
    pathPause_->setInterval(PathPauseMs);
    connect(pathPause_, &QTimer::timeout, this, [this] { ConfigureFromSelector(true); });
    QLineEdit* selectorText = ui_->Combo1->lineEdit();
    connect(selectorText, &QLineEdit::textEdited, this, &Form1::OnSelectorEdited);
    connect(selectorText, &QLineEdit::returnPressed, this, [this] { ConfigureFromSelector(true); });
    connect(ui_->Combo1, &QComboBox::activated, this, [this] { ConfigureFromSelector(false); });
    connect(ui_->Command1, &QPushButton::clicked, this, [this] {
        DialogScope dialog(*this);
        OnSaveImageClicked(state_, saveServices_, *this);
    });
    connect(ui_->Command2, &QPushButton::clicked, this, [this] {
        DialogScope dialog(*this);
        OnLoadImageClicked(loadServices_, *this);
    });
    connect(ui_->Command4, &QPushButton::clicked, this, &Form1::PrintScreenshot);
    connect(ui_->Check2, &QCheckBox::clicked, this, &Form1::OnDisableSaveClicked);

    // "Copy screenshot": Ctrl+C anywhere in the window, and the picture's menu.
    copyAction_ = new QAction(QStringLiteral("Copy screenshot"), this);
    copyAction_->setObjectName(QStringLiteral("copyAction"));
    copyAction_->setShortcut(QKeySequence::Copy);
    copyAction_->setEnabled(false); // nothing to copy before the first picture
    connect(copyAction_, &QAction::triggered, this, &Form1::CopyScreenshot);
    addAction(copyAction_);
    ui_->Image1->addAction(copyAction_);
    ui_->Image1->setContextMenuPolicy(Qt::ActionsContextMenu);
    ui_->Combo1->installEventFilter(this); // it hands its keys to its text box
    setAcceptDrops(true);
}

Form1::~Form1() = default;

void Form1::StartUp(const std::optional<std::string>& port) {
    state_ = CaptureState{};
    ui_->Command1->setEnabled(false);
    probe_ = ProbePorts(state_, services_.comm, *this);
    if (!probe_.opened)
        ConfigureFromSelector(false); // aim the link at what the selector shows
    ShowPortState();
    portGiven_ = port.has_value();
    if (port)
        setText(*port);
}

void Form1::ReportPortProblems() {
    if (services_.comm.isOpen())
        return;
    DialogScope dialog(*this);
    services_.box.tell(portGiven_ ? GivenPortMessage(link_.describe()) : NoPortMessage(probe_),
                       "Serial port");
}

void Form1::SaveEveryScreenshotTo(const std::filesystem::path& folder) {
    folder_.emplace(folder);
    arrivalServices_.folder = &*folder_;
    ShowCaption();
}

void Form1::ShowPictureFile(const std::string& path) {
    DialogScope dialog(*this); // a file that is not a picture is said
    kvd::ShowPictureFile(path, loadServices_, *this);
}

void Form1::CopyScreenshot() {
    const QImage picture = ui_->Image1->picture();
    QByteArray file = shownFile_;
    if (file.isEmpty()) {
        QBuffer buffer(&file);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "BMP");
    }
    auto* clip = new QMimeData;
    clip->setImageData(picture);
    clip->setData(QStringLiteral("image/bmp"), file);
    QGuiApplication::clipboard()->setMimeData(clip);
}

// The port box would claim Ctrl+C for its text, and it often has the keyboard
// with its text selected (after Enter, for one). Ctrl+C copies the screenshot
// there too; the box's own right-click menu still copies its text.
bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->Combo1 && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        copyAction_->trigger();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (DroppedFile(event->mimeData()))
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    const std::optional<QString> path = DroppedFile(event->mimeData());
    if (!path)
        return;
    event->acceptProposedAction();
    // Shown once the drop has ended, so that the source program is not held up
    // by a message about the file.
    QMetaObject::invokeMethod(
        this, [this, file = path->toStdString()] { ShowPictureFile(file); }, Qt::QueuedConnection);
}

void Form1::OnPollTick() {
    const bool lost = link_.keepUp();
    DrainPort(state_, services_.comm);
    const std::size_t cut = CutScreenshots(state_, waiting_);
    // The piece of a screenshot the loss cut off is dropped, so it is never
    // completed by the first bytes after the return.
    if (lost)
        state_.ReceiveBuffer.clear();
    if (link_.state() != shownState_ || link_.describe() != shownPort_)
        ShowPortState();
    if (cut == 0)
        return;
    ShowCaption();
    ShowWaitingLater();
}

// Screenshots are shown from the event loop rather than inside the tick: Qt never
// fires a timer again while its own handler runs, and the question an arrival
// may ask must not stop the ticks that drain the port meanwhile.
void Form1::ShowWaitingLater() {
    if (waiting_.dialogOpen() || waiting_.count() == 0)
        return;
    QMetaObject::invokeMethod(this, &Form1::ShowNextWaiting, Qt::QueuedConnection);
}

// Shows the oldest waiting screenshot, unless a dialog opened meanwhile (a click
// handled before this ran); the dialog's end brings it back here.
void Form1::ShowNextWaiting() {
    ReportDroppedScreenshots();
    std::optional<std::string> frame = waiting_.next();
    if (!frame)
        return;
    ShowCaption();
    DialogScope arrival(*this); // the arrival may ask about the shown screenshot
    if (ShowNewScreenshot(state_, *frame, arrivalServices_, *this))
        shownFile_ = QByteArray::fromStdString(state_.ImageData);
}

void Form1::ReportDroppedScreenshots() {
    if (waiting_.dialogOpen())
        return;
    const std::size_t dropped = waiting_.takeDropped();
    if (dropped == 0)
        return;
    DialogScope dialog(*this);
    services_.box.tell("More screenshots arrived while a dialog was open than the program "
                       "keeps waiting (" +
                           std::to_string(WaitingScreenshots::Capacity) + "). The oldest " +
                           std::to_string(dropped) + (dropped == 1 ? " was" : " were") +
                           " dropped; the others follow.",
                       "Incoming data");
}

// The caption says where every screenshot is saved to, in that mode, and how
// many screenshots wait to be shown, while any do.
void Form1::ShowCaption() {
    QString caption = caption_;
    if (folder_)
        caption += QStringLiteral(" - saving to ") +
                   QString::fromStdString(Utf8FromPath(folder_->folder()));
    if (const std::size_t count = waiting_.count(); count > 0)
        caption +=
            QStringLiteral(" - %1 screenshot%2 waiting").arg(count).arg(count == 1 ? "" : "s");
    setWindowTitle(caption);
}

void Form1::PrintScreenshot() {
    DialogScope dialog(*this);
    const std::string comment =
        services_.input.ask("Comment:", "Add comment to your print", "KVD62 screenshot");
    if (comment.empty())
        return;
    if (!form2_)
        form2_ = std::make_unique<Form2>();
    form2_->setPicture(ui_->Image1->picture());
    form2_->setComment(QString::fromStdString(comment));
    const Outcome printed = services_.printer.printForm(static_cast<QWidget*>(form2_.get()));
    if (!printed)
        services_.box.tell("The screenshot was not printed: " + printed.reason() +
                               ".\r\nSet up a default printer in the system's settings, then "
                               "press \"Print Image\" again.",
                           "Print Image");
}

void Form1::setSaveEnabled(bool enabled) {
    ui_->Command1->setEnabled(enabled);
}

void Form1::setDisableSaveEnabled(bool enabled) {
    ui_->Check2->setEnabled(enabled);
}

void Form1::showPicture(const Picture& picture) {
    ui_->Image1->setPicture(ToImage(picture));
    ui_->Image1->setVisible(true);
    shownFile_.clear();
    copyAction_->setEnabled(true);
}

void Form1::addPort(const std::string& entry, const std::string& device) {
    ui_->Combo1->addItem(QString::fromStdString(entry));
    ui_->Combo1->setItemData(ui_->Combo1->count() - 1, QString::fromStdString(device),
                             Qt::ToolTipRole);
}

std::string Form1::firstPort() const {
    return ui_->Combo1->count() > 0 ? ui_->Combo1->itemText(0).toStdString() : std::string{};
}

void Form1::setText(const std::string& text) {
    ui_->Combo1->setEditText(QString::fromStdString(text));
    ConfigureFromSelector(true);
}

// A typed port number is opened at once. A device path is opened once the user
// presses Enter, picks from the list or stops typing for a moment: on the way to
// /dev/ttyUSB0 the text passes through /dev/tty, and to /dev/ttyS10 through
// /dev/ttyS1, which must not be opened.
void Form1::OnSelectorEdited() {
    if (ReadPortAddress(ui_->Combo1->currentText().toStdString()).kind() ==
        PortAddress::Kind::Device) {
        pathPause_->start();
        return;
    }
    ConfigureFromSelector(true);
}

// The selector's change rule: reopen the link on the port its text names.
// Bytes received from the port before never join those of the one after.
void Form1::ConfigureFromSelector(bool dtrFirst) {
    pathPause_->stop();
    state_.ReceiveBuffer.clear();
    link_.choose(ReadPortAddress(ui_->Combo1->currentText().toStdString()), dtrFirst);
    ShowPortState();
}

// The selector shows how the link stands: red text while no port is open, and
// the device and its state in the tooltip's second line.
void Form1::ShowPortState() {
    shownState_ = link_.state();
    shownPort_ = link_.describe();
    QLineEdit* edit = ui_->Combo1->lineEdit();
    QPalette palette = ui_->Combo1->palette();
    if (shownState_ != PortState::Open)
        palette.setColor(QPalette::Text, Qt::red);
    edit->setPalette(palette);
    ui_->Combo1->setToolTip(QStringLiteral("Current serial port\n") +
                            QString::fromStdString(shownPort_));
}

// "Disable Save": while checked, new screenshots replace the shown one without a
// question and "Save image" is off. A greyed box counts as unchecked.
void Form1::OnDisableSaveClicked() {
    state_.SaveDisabled = ui_->Check2->checkState() == Qt::Checked;
    ui_->Command1->setEnabled(!state_.SaveDisabled);
}

} // namespace kvd
