#pragma once

#include <exception>
#include <utility>

class MessageBoxes;
class QWidget;

// The program-wide handler for errors no window handles itself: it shows
// the error's own text with the program title as caption and an error icon.
// The handler that failed stops at the failing step; the program runs on.
class ErrorHandler final
{
public:
    explicit ErrorHandler(MessageBoxes &boxes) : m_boxes(boxes) {}

    void report(const std::exception &error);

    // Runs one event handler; an error stops it and is reported. Returns
    // whether the handler ran to its end.
    template <typename Handler> bool guard(Handler &&handler) noexcept
    {
        try {
            std::forward<Handler>(handler)();
            return true;
        } catch (const std::exception &error) {
            report(error);
        }
        return false;
    }

private:
    MessageBoxes &m_boxes;
};
