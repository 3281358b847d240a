#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

namespace Ui {
class Form2;
}

namespace kvd {

// The printed page: the picture in a frame with the comment line below it, laid
// out at about 6.1 x 4.0 inches. It is printed as a whole and never shown.
class Form2 : public QWidget {
    Q_OBJECT

public:
    explicit Form2(QWidget* parent = nullptr);
    ~Form2() override;

    void setPicture(const QImage& picture);
    void setComment(const QString& comment);

private:
    std::unique_ptr<Ui::Form2> ui_;
};

} // namespace kvd
