#include "windows/PortBox.h"

#include <QAction>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyleOptionFrame>
#include <QTimer>

namespace kvd {

namespace {

// The selector's text box. A name too long for it is shown cut at its start
// ("…/ttyUSB0") while it is not being edited, never as its last few characters
// alone (/dev/pts/1 as "1", which reads as port 1). The whole name is in the
// box's tooltip.
class PortText final : public QLineEdit {
protected:
    void paintEvent(QPaintEvent* event) override {
        QStyleOptionFrame panel;
        initStyleOption(&panel);
        // Where QLineEdit puts its text: its contents, less its margins and the
        // two pixels it leaves at each side.
        const QRect room = style()
                               ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
                               .marginsRemoved(textMargins())
                               .adjusted(2, 0, -2, 0);
        if (hasFocus() || fontMetrics().horizontalAdvance(text()) <= room.width())
            return QLineEdit::paintEvent(event);
        QPainter painter(this);
        style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideLeft, room.width()));
    }
};

} // namespace

PortBox::PortBox(QComboBox* combo, CaptureSession& session, QAction* copy, QObject* parent)
    : QObject(parent), combo_(combo), session_(session), copy_(copy),
      typingPause_(new QTimer(this)) {
    const QString shown = combo_->currentText();
    combo_->setLineEdit(new PortText);
    combo_->setEditText(shown);
    typingPause_->setSingleShot(true);
    connect(typingPause_, &QTimer::timeout, this,
            [this] { waitForTyping(session_.typingPaused(CaptureSession::Clock::now())); });
    connect(combo_->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        waitForTyping(session_.selectorEdited(text.toStdString(), CaptureSession::Clock::now()));
    });
    connect(combo_->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { choose(PortChoice::Typed); });
    connect(combo_, &QComboBox::activated, this, [this] { choose(PortChoice::Picked); });
    combo_->installEventFilter(this); // it hands its keys to its text box
}

void PortBox::fill(const PortList& ports) {
    for (const ProbeReport::Found& found : ports.found) {
        combo_->addItem(QString::number(found.port));
        combo_->setItemData(combo_->count() - 1, QString::fromStdString(found.device),
                            Qt::ToolTipRole);
    }
    if (ports.text)
        combo_->setEditText(QString::fromStdString(*ports.text));
    showState();
}

void PortBox::showState() {
    QPalette palette = combo_->palette();
    if (session_.portState() != PortState::Open)
        palette.setColor(QPalette::Text, Qt::red);
    combo_->lineEdit()->setPalette(palette);
    combo_->setToolTip(QStringLiteral("Current serial port\n") +
                       QString::fromStdString(session_.portDescription()));
}

// The box would claim Ctrl+C for its text, and it often has the keyboard with
// its text selected (after Enter, for one). Its own right-click menu still
// copies its text.
bool PortBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == combo_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        copy_->trigger();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void PortBox::choose(PortChoice how) {
    typingPause_->stop();
    session_.choosePort(combo_->currentText().toStdString(), how);
    showState();
}

void PortBox::waitForTyping(std::chrono::milliseconds wait) {
    if (wait.count() > 0)
        typingPause_->start(wait);
    showState();
}

} // namespace kvd
