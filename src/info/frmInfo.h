#pragma once

#include "shell/services.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>

namespace kalmira::info {

// Help window: the help text in a list, topic links that scroll it, the
// version line and OK.
class FrmInfo : public QWidget {
    Q_OBJECT
public:
    explicit FrmInfo(Services &services, QWidget *parent = nullptr);

    // Scrolls the list so that this entry is its top line (also when the
    // window is not shown yet: applied when it appears).
    void setTopEntry(int entry);
    int topEntry() const;

    QGroupBox *Frame1;
    QLabel *Label2[6]; // topic links, by label index
    QListWidget *List1;
    QLabel *Label1; // version line (index 1)
    QPushButton *Command1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createTopics();
    void createHelpList();
    // Hover colours of the links 0 to 3: the hovered one grey, the rest blue;
    // -1 makes all four blue.
    void hoverTopic(int index);
    void applyTop();

    Services &s_;
    int top_ = 0;
};

} // namespace kalmira::info
