#pragma once

class QDateTimeEdit;

namespace TimeTyping {

// Makes a date or time field store what a person types over it. On its own
// the field keeps a section whose digits were typed over a selection of
// several sections (the whole text, as after select-all), and a separator
// typed after a section that filled itself skips the next section.
void install(QDateTimeEdit *field);

} // namespace TimeTyping
