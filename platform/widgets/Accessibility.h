#pragma once

namespace zel {

// Keeps the log quiet when assistive technology asks an empty grid for the
// header of a column: the toolkit's bridge asks the table for the cell of
// the first row to find the header, and the table warns once per query that
// there is no such row. Only that warning is dropped; every other message
// goes where it went. Every grid calls it; it goes on top of the message
// handler in place, once.
void KeepEmptyTablesQuiet();

} // namespace zel

namespace zel {

// Makes the tabs of every page control tell assistive technology their own
// enabled state: the toolkit's tab objects report the tab bar's, so a
// disabled page's tab would read as available. Installed once, by the first
// page control.
void ExposePageTabStates();

} // namespace zel
