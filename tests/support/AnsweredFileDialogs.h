#pragma once
// Answers the main window's open and save dialogs in the user's place while
// it lives: a dialog is confirmed with `answer`, or cancelled while there is
// none. The last dialog run is kept for the test to look at.

#include "app/RecordingDialogs.h"

#include <QFileDialog>
#include <QString>

#include <optional>
#include <string>

namespace testing_support {

class AnsweredFileDialogs {
public:
    AnsweredFileDialogs()
    {
        app::SetFileDialogRunner([this](QFileDialog &dialog) -> std::optional<QString> {
            shown = &dialog;
            if (!answer)
                return std::nullopt;
            return QString::fromStdString(*answer);
        });
    }
    ~AnsweredFileDialogs() { app::SetFileDialogRunner({}); }
    AnsweredFileDialogs(const AnsweredFileDialogs &) = delete;
    AnsweredFileDialogs &operator=(const AnsweredFileDialogs &) = delete;

    std::optional<std::string> answer;
    QFileDialog *shown = nullptr;
};

} // namespace testing_support
