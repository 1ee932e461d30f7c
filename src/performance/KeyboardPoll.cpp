#include "performance/KeyboardPoll.h"

namespace performance {

void KeyboardPoll::PollKeyboard()
{
    // A message box opened by a send failure runs its own event loop, which
    // would start a second pass in the middle of this one.
    if (polling_)
        return;
    polling_ = true;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{polling_};

    // A copy: a message box shown from a send may see the map change.
    const std::vector<KeyMapEntry> map = keys_.KeyMap();
    for (auto entry = map.rbegin(); entry != map.rend(); ++entry) {
        const int number = entry->number;
        if (number == keys_.MouseHeldKey() || keys_.IsHeldElsewhere(number))
            continue;

        if (states_.IsDown(entry->code)) {
            if (keys_.IsSounding(number))
                continue;
            try {
                player_.StartNote(number, KeySource::PcKey);
            } catch (...) {
                // The box that shows the failure takes the keyboard, and Qt
                // drops the key's release meanwhile: the key would stay down
                // and send again after every box.
                states_.Forget(entry->code);
                throw;
            }
        } else if (keys_.IsSounding(number)) {
            player_.StopNote(number);
        }
    }
}

} // namespace performance
