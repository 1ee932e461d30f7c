#include "performance/KeyboardPoll.h"

#include "common/IntegerConversion.h"
#include "performance/KeyMap.h"

#include <algorithm>

namespace performance {

KeyboardPoll::KeyboardPoll(const QStringList &keyCodeList, const QStringList &keyNumberList,
                           const std::array<PianoKey *, KeyCount> &keys,
                           KeyStateTable &states, KeyPlayer &player)
    : codes_(keyCodeList), numbers_(keyNumberList), keys_(keys), states_(states), player_(player)
{
}

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

    // Entry i of one list belongs to entry i of the other; an entry without
    // its partner plays nothing.
    for (qsizetype i = std::min(codes_.size(), numbers_.size()) - 1; i >= 0; --i) {
        // The map is checked when it is read, and its faults told there: an
        // entry that is no code plays nothing.
        const auto converted = common::TryStrToInt(codes_[i].toStdString());
        if (!converted)
            continue;
        const int code = *converted;

        const int number = KeyNumberFromText(numbers_[i]);
        if (number == 0)
            continue;
        PianoKey &key = *keys_[number - 1];
        if (&key == player_.MouseHeldKey() || key.IsHeldByInput())
            continue;

        if (states_.IsDown(code)) {
            if (key.IsSounding())
                continue;
            try {
                player_.StartNote(key);
            } catch (...) {
                // The box that shows the failure takes the keyboard, and Qt
                // drops the key's release meanwhile: the key would stay down
                // and send again after every box.
                states_.Forget(code);
                throw;
            }
        } else if (!key.IsSilent()) {
            player_.StopNote(key);
        }
    }
}

} // namespace performance
