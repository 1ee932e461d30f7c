#include "app/AudioSaveProgress.h"

#include "common/GuardedConnect.h"

namespace app {

namespace {
constexpr int Steps = 1000;
constexpr std::chrono::milliseconds PollEvery{100};
} // namespace

AudioSaveProgress::AudioSaveProgress(QWidget *window, const QString &fileName) : QProgressDialog(window)
{
    setObjectName(QStringLiteral("AudioSaveProgress"));
    setWindowTitle(tr("Speichern"));
    setLabelText(tr("%1 wird als Klang gespeichert ...").arg(fileName));
    setAccessibleName(tr("Fortschritt des Speicherns als Klang"));
    setCancelButtonText(tr("Abbrechen"));
    setWindowModality(Qt::NonModal);
    setAutoReset(false);
    setAutoClose(false);
    setRange(0, Steps);
    setMinimumDuration(static_cast<int>(ShowAfter.count()));
    // The first value starts the wait after which the dialog shows itself.
    setValue(0);
    common::GuardedConnect(this, &QProgressDialog::canceled, this, [share = share_] { share->cancelled = true; });
    common::GuardedConnect(&poll_, &QTimer::timeout, this, [this] {
        // Set again, the first value would start the wait anew.
        const int permille = share_->permille.load();
        if (!wasCanceled() && permille > value())
            setValue(permille);
    });
    poll_.start(PollEvery);
}

std::function<bool(double done)> AudioSaveProgress::Reporter() const
{
    return [share = share_](double done) {
        share->permille = static_cast<int>(done * Steps);
        return !share->cancelled.load();
    };
}

void AudioSaveProgress::Finish()
{
    poll_.stop();
    hide();
    deleteLater();
}

} // namespace app
