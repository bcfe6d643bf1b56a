#pragma once

class QDialog;
class QWidget;

namespace vz {

// Whether a dialog over `owner` is drawn inside it: a widget of this process
// that is on screen.
bool CanEmbedIn(const QWidget* owner);

// Turns `dialog` into a panel inside `owner`'s window, shown centred in it,
// with a raised frame and its title drawn on top. A separate window would be
// stacked by the window manager, under a saver that keeps itself above
// everything, and would need the saver's input grabs moved to it and back;
// drawn inside the saver's window it shares both. Its own X window carries
// the dialog's title, as a window of its own would. Keys reach it through the
// owner window's focus, which it takes on showing.
void EmbedInWindow(QDialog* dialog, QWidget* owner);

// Runs `dialog` as exec() does, but never as a modal window when it is
// embedded: modality would block its own host window, through which its keys
// arrive.
int ExecDialog(QDialog* dialog);

}  // namespace vz
