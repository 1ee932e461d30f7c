#pragma once
// The progress of a take being saved as sound, which is rendered on the
// saves' thread: shown once the render has taken half a second, with
// "Abbrechen" to give the save up. Not modal: the keyboard plays on meanwhile.

#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace app {

class AudioSaveProgress : public QProgressDialog {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds ShowAfter{500};

    // `fileName` as shown to the user.
    AudioSaveProgress(QWidget *window, const QString &fileName);

    // For the render, on its thread: takes the share done (0 to 1) and
    // answers false once the save has been given up.
    std::function<bool(double done)> Reporter() const;

    // The save has ended: the dialog goes.
    void Finish();

private:
    // What the render's thread and the window's share.
    struct Share {
        std::atomic<int> permille{0};
        std::atomic<bool> cancelled{false};
    };

    std::shared_ptr<Share> share_ = std::make_shared<Share>();
    QTimer poll_;
};

} // namespace app
