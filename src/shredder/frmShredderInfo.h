#pragma once

#include "shell/services.h"

#include <QListWidget>
#include <QPushButton>
#include <QWidget>

namespace kalmira::shredder {

// Read-only explanation of the two methods.
class FrmShredderInfo : public QWidget {
    Q_OBJECT
public:
    explicit FrmShredderInfo(Services &services, QWidget *parent = nullptr);

    static QStringList Lines();

    QListWidget *List1;
    QPushButton *Command1;

protected:
    bool event(QEvent *e) override;

private:
    Services &s_;
};

// Centres a top-level window on the primary screen.
void CentreOnScreen(QWidget *w);

} // namespace kalmira::shredder
