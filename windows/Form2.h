#pragma once

#include <QFont>
#include <QImage>
#include <QStringList>
#include <QWidget>
#include <memory>

namespace Ui {
class Form2;
}

namespace kvd {

// The printed page: the picture in a frame with the comment line below it, laid
// out at about 6.1 x 4.0 inches; a comment too long for the line goes on in
// Label2 under it. It is printed as a whole and never shown.
class Form2 : public QWidget {
    Q_OBJECT

public:
    explicit Form2(QWidget* parent = nullptr);
    ~Form2() override;

    void setPicture(const QImage& picture);
    void setComment(const QString& comment);

private:
    void ShowComment(const QFont& font, QStringList lines);

    std::unique_ptr<Ui::Form2> ui_;
};

} // namespace kvd
