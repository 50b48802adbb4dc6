#include "support/FakeFrontEnd.h"

#include <sstream>

#include "platform/Text.h"

namespace qv::test {

std::vector<std::string> MemoryLogPane::Messages() const {
    std::vector<std::string> lines;
    std::istringstream all(ToUtf8(text_));
    for (std::string line; std::getline(all, line);) {
        // "YYYY-mm-dd HH:MM:SS" and two blanks.
        if (line.size() >= 21 && line.compare(19, 2, "  ") == 0) line = line.substr(21);
        lines.push_back(line);
    }
    return lines;
}

int ScriptedPrompts::MessageBox(const std::u16string& text, const std::u16string& caption,
                                PromptButtons buttons) {
    asked.push_back({text, caption, buttons});
    if (onAsk) onAsk();
    if (answers.empty()) return kIdOk;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<std::u16string> ScriptedPrompts::SaveFileDialog(const std::u16string&,
                                                              const std::u16string&,
                                                              const std::u16string&,
                                                              const std::u16string& initialName,
                                                              const std::u16string& initialFolder) {
    saveDialogs.push_back(initialName);
    saveFolders.push_back(initialFolder);
    if (savePaths.empty()) return std::nullopt;
    auto path = savePaths.front();
    savePaths.pop_front();
    return path;
}

}  // namespace qv::test
