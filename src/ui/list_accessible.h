#pragma once

class QTableView;

namespace ph {

// Accessibility of a list view whose selection is the list's selected flags (a ListViewModel
// shown with no selection model of its own): screen readers, on-screen keyboards and desktop
// automation see the rows the view shows, in its order, as a table whose selected rows and
// cells are the flagged rows, and select and unselect rows through the same flag operations
// as mouse and keys.

// Gives the view that accessibility, in place of one Qt may have made for it already. The
// view's model and its list must outlive the view.
void MakeListAccessible(QTableView& view);

// Tells assistive technology that the view's selection changed, however many rows it touched.
void NotifySelectionChanged(QTableView& view);

}  // namespace ph
