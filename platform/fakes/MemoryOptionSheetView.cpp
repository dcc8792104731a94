#include "platform/fakes/MemoryOptionSheetView.h"

#include <algorithm>

namespace vask {

namespace {

constexpr int kMethodRadios[] = {option_control::kMethodTrash, option_control::kMethodMove,
                                 option_control::kMethodDelete, option_control::kMethodCompress};

bool IsMethodRadio(OptionPage page, int id) {
    return page == OptionPage::Disposal &&
           std::find(std::begin(kMethodRadios), std::end(kMethodRadios), id) != std::end(kMethodRadios);
}

template <class Map, class Value>
Value Lookup(const Map& map, const typename Map::key_type& key, Value fallback) {
    const auto it = map.find(key);
    return it == map.end() ? fallback : it->second;
}

}  // namespace

std::string MemoryOptionSheetView::Text(OptionPage page, int id) const {
    return Lookup(texts, Key{page, id}, std::string());
}

bool MemoryOptionSheetView::IsTicked(OptionPage page, int id) const {
    return Lookup(ticks, Key{page, id}, false);
}

void MemoryOptionSheetView::SetTicked(OptionPage page, int id, bool ticked) {
    // Radio buttons of one group: ticking one clears the others.
    if (ticked && IsMethodRadio(page, id)) {
        for (int other : kMethodRadios)
            ticks[{page, other}] = false;
    }
    ticks[{page, id}] = ticked;
}

bool MemoryOptionSheetView::IsEnabled(OptionPage page, int id) const {
    return Lookup(enabled_, Key{page, id}, true);
}

std::optional<std::string> MemoryOptionSheetView::BrowseForFolder(OptionPage, const std::string& title,
                                                                  const std::string& start) {
    browses.emplace_back(title, start);
    if (browseAnswers.empty()) return std::nullopt;
    auto answer = browseAnswers.front();
    browseAnswers.pop_front();
    return answer;
}

std::optional<std::string> MemoryOptionSheetView::PickWaveFile(const std::string& current) {
    picks.push_back(current);
    if (pickAnswers.empty()) return std::nullopt;
    auto answer = pickAnswers.front();
    pickAnswers.pop_front();
    return answer;
}

}  // namespace vask
