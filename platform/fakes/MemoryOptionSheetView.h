// An in-memory options sheet for tests of its flow: control texts, ticks, enable flags and focus by page
// and identifier, a scripted run, scripted browser and picker answers, and the log it was told to show.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/OptionSheetView.h"

namespace vask {

class MemoryOptionSheetView : public OptionSheetView {
  public:
    using Key = std::pair<OptionPage, int>;

    // What the user does during a run; its answer is RunModal's (true: the sheet closed with OK). Without
    // one, the run is cancelled at once.
    std::function<bool()> onRun;

    bool RunModal() override {
        ++runs;
        return onRun ? onRun() : false;
    }
    std::string Text(OptionPage page, int id) const override;
    void SetText(OptionPage page, int id, const std::string& text) override { texts[{page, id}] = text; }
    bool IsTicked(OptionPage page, int id) const override;
    void SetTicked(OptionPage page, int id, bool ticked) override;
    void SetEnabled(OptionPage page, int id, bool enabled) override { enabled_[{page, id}] = enabled; }
    // Controls start enabled.
    bool IsEnabled(OptionPage page, int id) const;
    void FocusAndSelectAll(OptionPage page, int id) override { focus = Key{page, id}; }

    std::optional<std::string> BrowseForFolder(OptionPage page, const std::string& title,
                                               const std::string& start) override;
    std::optional<std::string> PickWaveFile(const std::string& current) override;
    void ShowLog(std::shared_ptr<const LogLines> lines) override {
        log = std::move(lines);
        ++logShows;
    }

    std::map<Key, std::string> texts;
    std::map<Key, bool> ticks;
    std::optional<Key> focus;
    int runs = 0;
    // Answers of the browser and the picker, taken in order; an empty queue answers "cancelled".
    std::deque<std::optional<std::string>> browseAnswers;
    std::deque<std::optional<std::string>> pickAnswers;
    // (title, start) of every browse, and the current text of every pick.
    std::vector<std::pair<std::string, std::string>> browses;
    std::vector<std::string> picks;
    std::shared_ptr<const LogLines> log;
    int logShows = 0;

  private:
    std::map<Key, bool> enabled_;
};

}  // namespace vask
