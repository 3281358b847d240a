#include "windows/Form2.h"

#include <QFontMetricsF>
#include <QTextLayout>

#include "ui_Form2.h"

namespace kvd {

namespace {

// The comment's type: "System" bold, 9.75 points as designed, smaller down to a
// size still read at arm's length where that keeps it on the comment line;
// smaller still only where even its lines at that size would run off the page.
constexpr double DesignedPoints = 9.75, ReadablePoints = 8, SmallestPoints = 5, Step = 0.25;

QFont CommentFont(double points) {
    QFont font(QStringLiteral("System"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

// `text` as lines no wider than `width` in `font`: broken at spaces, and inside
// a word longer than a line.
QStringList LinesOf(const QString& text, const QFont& font, qreal width) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

} // namespace

Form2::Form2(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::Form2>()) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DontShowOnScreen);
    ui_->Label1->setFont(CommentFont(DesignedPoints));
}

Form2::~Form2() = default;

void Form2::setPicture(const QImage& picture) {
    ui_->Image1->setPicture(picture);
}

// The whole comment on the page, never cut: on the comment line in the largest
// type that holds it, from the designed size down to the readable one; else
// broken into lines, the first on the comment line and the rest below it.
void Form2::setComment(const QString& comment) {
    // What the printer's type may be wider by than the screen's it is measured in.
    const qreal width = ui_->Label1->width() * 0.98;
    for (double points = DesignedPoints; points >= ReadablePoints; points -= Step)
        if (QFontMetricsF(CommentFont(points)).horizontalAdvance(comment) <= width)
            return ShowComment(CommentFont(points), {comment});
    for (double points = ReadablePoints;; points -= Step) {
        const QFont font = CommentFont(points);
        const QStringList lines = LinesOf(comment, font, width);
        const int room = 1 + int(ui_->Label2->height() / QFontMetricsF(font).lineSpacing());
        if (lines.size() <= room || points <= SmallestPoints)
            return ShowComment(font, lines);
    }
}

void Form2::ShowComment(const QFont& font, QStringList lines) {
    ui_->Label1->setFont(font);
    ui_->Label2->setFont(font);
    ui_->Label1->setText(lines.isEmpty() ? QString() : lines.takeFirst());
    ui_->Label2->setText(lines.join(QLatin1Char('\n')));
}

} // namespace kvd
