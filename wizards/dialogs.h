// The questions and messages a wizard puts to the author. The window view answers them with
// message boxes and file dialogs; the headless driver and the tests answer from a queue.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace tessaro::wizards {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void Information(const std::string& text) = 0;
    virtual void Error(const std::string& text) = 0;
    virtual bool YesNo(const std::string& text) = 0;
    // The chosen file name, or nothing when the author cancels.
    virtual std::optional<std::string> SaveFile(const std::string& preset) = 0;
    virtual std::optional<std::string> ChooseFolder(const std::string& start) = 0;
};

// Answers from a queue and records every text shown, in order. An empty queue answers
// "no" and cancels, so a script that forgot an answer never writes over anything.
class ScriptedDialogs : public Dialogs {
public:
    void QueueAnswer(std::string answer) { answers_.push_back(std::move(answer)); }

    void Information(const std::string& text) override { shown_.push_back(text); }
    void Error(const std::string& text) override { shown_.push_back(text); }
    bool YesNo(const std::string& text) override {
        shown_.push_back(text);
        return Take().value_or("no") == "yes";
    }
    std::optional<std::string> SaveFile(const std::string&) override { return Path(); }
    std::optional<std::string> ChooseFolder(const std::string&) override { return Path(); }

    const std::vector<std::string>& Shown() const { return shown_; }
    std::string LastShown() const { return shown_.empty() ? "" : shown_.back(); }

private:
    std::optional<std::string> Take() {
        if (answers_.empty()) return std::nullopt;
        std::string a = answers_.front();
        answers_.pop_front();
        return a;
    }
    std::optional<std::string> Path() {
        std::optional<std::string> a = Take();
        if (!a || *a == "cancel") return std::nullopt;
        return a;
    }

    std::deque<std::string> answers_;
    std::vector<std::string> shown_;
};

}  // namespace tessaro::wizards
