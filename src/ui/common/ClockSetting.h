#pragma once

#include <QDateTime>
#include <functional>

class Shell;
class QWidget;

namespace ClockSetting {

// Asks the platform to set the computer's clock to value, then tells the
// user the truth over owner: "修改成功！" only when the clock was set,
// "修改失败" when the platform refused. done runs once the user has been
// told.
void apply(Shell &shell, QWidget *owner, const QDateTime &value,
           const std::function<void()> &done = {});

} // namespace ClockSetting
