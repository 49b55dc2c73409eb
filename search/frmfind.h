#pragma once

#include "findwindow.h"

#include <optional>

// Find: the next line of a range that holds a text, or whose axis value compares with a number
// as chosen. A hit shows the line at the top of the view with the match selected, and the search
// goes on from the line after it at the next press ("Find Next"); it never wraps past the range.
class Find : public search::FindWindow
{
    Q_OBJECT

public:
    explicit Find(Host &host);

    QString stepName() const override { return QStringLiteral("Find"); }

protected:
    QString search(const tools::LineRange &range) override;
    void afterRun(QPushButton *button) override;

private:
    std::optional<search::SearchHit> m_hit;
};
