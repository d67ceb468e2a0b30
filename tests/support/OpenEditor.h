#pragma once

#include <QString>

class Shell;
class TFrm_config;
class TFrm_sa;

// Opens the console (and the main window beneath it, if there is none yet)
// and chooses a subject on the subject-editing page.
TFrm_sa *chooseSubject(Shell &shell, const QString &subject);

// Opens the instruction editor for a subject the way an administrator does:
// the console (and the main window beneath it, if there is none yet), the
// subject chosen on the subject-editing page, then "进入指令设置".
TFrm_config *openEditor(Shell &shell, const QString &subject);
