#pragma once

#include <string>

namespace qv {

// Where the log's text lives: the Log page's pane in the window, stderr in the terminal.
class LogPane {
public:
    virtual ~LogPane() = default;
    virtual void Append(const std::u16string& text) = 0;  // at the end
    virtual void Clear() = 0;
    virtual std::u16string Text() const = 0;
};

}  // namespace qv
