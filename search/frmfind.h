#pragma once

#include "findwindow.h"

#include <optional>

// Find: the next line of a range that holds a text, or whose axis value compares with a number
// as chosen. A hit shows the line at the top of the view with the match selected, and the search
// goes on from the line after it at the next press ("Find Next"); it never wraps past the range.
// F3 and Shift+F3 search again with the button last pressed, forwards or backwards from the hit.
class Find : public search::FindWindow
{
    Q_OBJECT

public:
    explicit Find(Host &host);

    QString stepName() const override { return QStringLiteral("Find"); }

    // Searches again with the button last pressed (Go when none was, and only with a text to find):
    // forwards as that button does, or backwards from the line above the last hit (the top line of
    // the view before any) to the first line of the range the machinist set. False when there is
    // nothing to search for yet.
    bool searchAgain(bool backwards);

protected:
    QString search(const tools::LineRange &range) override;
    void afterRun(QPushButton *button) override;
    std::optional<tools::LineRange> checkRangeFields() const override;

private:
    // Whether StartLine still holds the line Find put there after its last hit.
    bool startWasStepped() const;

    std::optional<search::SearchHit> m_hit;
    QPushButton *m_lastPressed = nullptr;
    bool m_backwards = false;
    qint64 m_steppedStart = 0;  // the StartLine Find set after its last hit
    qint64 m_firstOfRange = 1;  // the first line of the range as the machinist set it
};
