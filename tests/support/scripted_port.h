#pragma once

#include "window/window_port.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace qlx::test {

// A window port for tests without a display: it records every effect and
// answers the Yes/No questions from a script (Yes when the script runs out).
class ScriptedPort : public WindowPort {
public:
    struct Box {
        std::string title;
        std::string text;
        bool question = false;
    };

    int progressMaximum = 10;
    int progressPosition = 1;
    std::vector<int> positions; // every position set, in order
    std::vector<int> maximums;  // every maximum set, in order
    std::string statusText;
    std::string statusTag;
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
    void setStatusText(const std::string& text) override { statusText = text; }
    void setStatusTag(const std::string& tag) override { statusTag = tag; }
    void messageBox(const std::string& title, const std::string& text) override {
        boxes.push_back({title, text, false});
    }
    int askYesNo(const std::string& title, const std::string& text) override {
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
