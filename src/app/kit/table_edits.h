// Widgets for entries of the edit table (files/setup_edits.h): a caption label
// and an edit on a new row of a grid, bound to the run state through the
// window's binder.
#pragma once

#include "app/kit/state_binder.h"
#include "files/setup_edits.h"

#include <functional>

class QGridLayout;
class QLabel;
class QLineEdit;

// Caption (whose buddy is the edit) and edit named and hinted as the table
// says, on a new row of `grid`; the label is returned through `label`.
QLineEdit* AddTableEdit(QGridLayout* grid, const EditEntry& e, QLabel** label = nullptr);

// On leaving, the text is committed by the table's rule; `taken` runs when the
// value was stored, `after` after every commit. Returns the show function.
std::function<QString()> BindTableEdit(StateWindow& window, QLineEdit* edit, const EditEntry& e,
                                       std::function<void(const EditEntry&)> taken,
                                       std::function<void()> after = {});
