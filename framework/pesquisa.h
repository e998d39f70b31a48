#pragma once

#include "modal.h"

#include <QString>

namespace qor {

class TDataSource;

// The search dialog, unit Pesquisa: a modal picker over dataSource's dataset (a query is
// opened, run anew, by the dialog itself). The grid shows the dataset's visible fields
// with their display labels; a filter box narrows the rows as the user types, matching
// any shown column (code or name) by its text, ignoring case and accents. Enter or a
// double click chooses, Esc cancels.
//
// caption is "title|no-rows message": the title goes on the window; when the dataset
// has no rows the no-rows message is shown (as an information) and no dialog opens.
// autoSelectSingle: a dataset of exactly one row is chosen without a dialog.
// openDataSet: open the dataset first (a query is re-run); false uses it as it is.
// Returns true when a row was chosen, with the dataset positioned on it; otherwise the
// dataset's position is left as it was.
bool Pesquisar_Plus(TDataSource *dataSource, const QString &caption, bool autoSelectSingle,
                    bool openDataSet);

} // namespace qor
