#pragma once

#include "window/window_port.h"

#include <QString>

#include <deque>
#include <functional>
#include <vector>

namespace qlx::test {

// A window port for tests without a display: it records every effect and
// answers the Yes/No questions from a script (Yes when the script runs out).
class ScriptedPort : public WindowPort {
public:
    struct Box {
        QString title;
        QString text;
        bool question = false;
    };

    int progressMaximum = 10;
    int progressPosition = 1;
    std::vector<int> positions; // every position set, in order
    std::vector<int> maximums;  // every maximum set, in order
    QString statusText;
    QString statusTag;
    std::vector<Box> boxes;
    std::deque<int> answers;
    int pendingEventRuns = 0;
    // Runs each time the window is let process its events, e.g. between chunks.
    std::function<void()> duringPendingEvents;
    int postedClicks = 0;
    bool closed = false;

    void setProgressMaximum(int maximum) override {
        progressMaximum = maximum;
        maximums.push_back(maximum);
    }
    void setProgressPosition(int position) override {
        progressPosition = position;
        positions.push_back(position);
    }
    void setStatusText(const QString& text) override { statusText = text; }
    void setStatusTag(const QString& tag) override { statusTag = tag; }
    void messageBox(const QString& title, const QString& text) override {
        boxes.push_back({title, text, false});
    }
    int askYesNo(const QString& title, const QString& text) override {
        boxes.push_back({title, text, true});
        if (answers.empty()) {
            return 1;
        }
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void processPendingEvents() override {
        ++pendingEventRuns;
        if (duringPendingEvents) {
            duringPendingEvents();
        }
    }
    void postUpgradeClick() override { ++postedClicks; }
    void closeWindow() override { closed = true; }
};

} // namespace qlx::test
