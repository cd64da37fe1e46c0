// SPDX-License-Identifier: MIT
// How a window runs the modal dialogs it opens. The program runs them with exec(); tests put a
// function in its place that works the dialog and answers for the user, so no test blocks.
#pragma once

#include <QDialog>
#include <functional>

namespace corvelle {

// Runs `dialog` modally and answers its result (QDialog::Accepted or QDialog::Rejected).
using DialogRunner = std::function<int(QDialog& dialog)>;

inline int RunModal(QDialog& dialog) { return dialog.exec(); }

}  // namespace corvelle
