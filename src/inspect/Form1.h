// "Informationen zur ausgewählten Bilddatei": the header facts of a BMP.
#pragma once

#include "shell/services.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <array>

namespace kalmira::inspect {

class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(Services &services, QWidget *parent = nullptr);

    // The file that Command1 ("Grafik laden") reads.
    void setPath(const QString &path) { path_ = path; }
    const QString &path() const { return path_; }

    QPushButton *Command2, *Command1;
    std::array<QLabel *, 8> lblInfo;
    QLabel *lblFileName;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void loadPicture();

    Services &s_;
    QString path_;
};

} // namespace kalmira::inspect
