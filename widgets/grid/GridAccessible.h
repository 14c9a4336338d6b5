// The accessible side of the tree grid. The grid paints its rows itself, so
// without help an accessibility tool would see one empty pane: the factory
// installed here gives every SubGridCtrl a table interface whose children are
// its cells (row-major, one per shown row and column), each with its text,
// its allowed-value hint as description, its selected, focused, read-only and
// expanded states, and the actions to focus it and to open or close a branch.
#pragma once

namespace qmx::grid {

class SubGridCtrl;

// Installs the factory once per process (SubGridCtrl's constructor calls it).
void InstallGridAccessibility();

// Tells accessibility tools that the cell with the cell focus changed, or
// that the rows were rebuilt. Cheap when no tool listens.
void NotifyGridFocus(SubGridCtrl* grid);
void NotifyGridRowsChanged(SubGridCtrl* grid);

}  // namespace qmx::grid
