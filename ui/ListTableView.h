#pragma once

#include <QListView>

#include <functional>

// The item list: Delete and Backspace remove the selection, and a drag of files over it is shown
// with a border in the accent colour.
class ListTableView : public QListView
{
public:
    explicit ListTableView(QWidget *parent = nullptr);

    std::function<void()> onDeleteKey;
    void setDropHighlight(bool on);
    bool isDropTarget() const { return m_isDropTarget; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_isDropTarget = false;
};
