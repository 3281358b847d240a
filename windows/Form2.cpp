#include "windows/Form2.h"

#include "ui_Form2.h"

namespace kvd {

Form2::Form2(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::Form2>()) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DontShowOnScreen);
    QFont comment(QStringLiteral("System"));
    comment.setPointSizeF(9.75);
    comment.setBold(true);
    ui_->Label1->setFont(comment);
}

Form2::~Form2() = default;

void Form2::setPicture(const QImage& picture) {
    ui_->Image1->setPicture(picture);
}

void Form2::setComment(const QString& comment) {
    ui_->Label1->setText(comment);
}

} // namespace kvd
