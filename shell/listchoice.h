#pragma once

#include <QListWidget>

// What the machinist chose in a list: the selected item. The list's current item is not a choice:
// a list that takes the keyboard focus makes its first item current by itself.
inline QListWidgetItem *chosenItem(const QListWidget *list)
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}
