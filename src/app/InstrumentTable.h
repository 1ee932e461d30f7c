#pragma once
// The 128 General MIDI programs as the instrument menu shows them: German
// captions (translated in the context "Instruments") in program order, with the separators and column breaks that
// group them. An entry's program number is its position in the table.

#include <QtGlobal>

#include <array>
#include <cstddef>

namespace app {

struct InstrumentEntry {
    // What comes before this entry in the menu.
    enum class Break { None, Separator, Column };

    const char *name;
    Break before;
};

inline constexpr std::size_t InstrumentCount = 128;

namespace instrument_table_detail {
using B = InstrumentEntry::Break;
}

inline constexpr std::array<InstrumentEntry, InstrumentCount> Instruments = [] {
    using instrument_table_detail::B;
    return std::array<InstrumentEntry, InstrumentCount>{{
        {QT_TRANSLATE_NOOP("Instruments", "Konzertflügel"), B::None}, // 0
        {QT_TRANSLATE_NOOP("Instruments", "Sonoret"), B::None}, // 1
        {QT_TRANSLATE_NOOP("Instruments", "Elektrischer Flügel"), B::None}, // 2
        {QT_TRANSLATE_NOOP("Instruments", "Honky-Tonk-Piano"), B::None}, // 3
        {QT_TRANSLATE_NOOP("Instruments", "Fender-Rhodes-Piano"), B::None}, // 4
        {QT_TRANSLATE_NOOP("Instruments", "Chorused Piano"), B::None}, // 5
        {QT_TRANSLATE_NOOP("Instruments", "Cembalo"), B::None}, // 6
        {QT_TRANSLATE_NOOP("Instruments", "Hohner Clavinet D6"), B::None}, // 7
        {QT_TRANSLATE_NOOP("Instruments", "Celesta"), B::Separator}, // 8
        {QT_TRANSLATE_NOOP("Instruments", "Glockenspiel"), B::None}, // 9
        {QT_TRANSLATE_NOOP("Instruments", "Spieldose"), B::None}, // 10
        {QT_TRANSLATE_NOOP("Instruments", "Vibraphon"), B::None}, // 11
        {QT_TRANSLATE_NOOP("Instruments", "Marimbaphon"), B::None}, // 12
        {QT_TRANSLATE_NOOP("Instruments", "Xylophon"), B::None}, // 13
        {QT_TRANSLATE_NOOP("Instruments", "Röhrenglocken"), B::None}, // 14
        {QT_TRANSLATE_NOOP("Instruments", "Dulcimer"), B::None}, // 15
        {QT_TRANSLATE_NOOP("Instruments", "Hammond-Orgel"), B::Separator}, // 16
        {QT_TRANSLATE_NOOP("Instruments", "Perkussive Orgel"), B::None}, // 17
        {QT_TRANSLATE_NOOP("Instruments", "Rockorgel"), B::None}, // 18
        {QT_TRANSLATE_NOOP("Instruments", "Kirchenorgel"), B::None}, // 19
        {QT_TRANSLATE_NOOP("Instruments", "Zungenorgel"), B::None}, // 20
        {QT_TRANSLATE_NOOP("Instruments", "Akkordeon"), B::None}, // 21
        {QT_TRANSLATE_NOOP("Instruments", "Harmonika"), B::None}, // 22
        {QT_TRANSLATE_NOOP("Instruments", "Tango-Akkordeon"), B::None}, // 23
        {QT_TRANSLATE_NOOP("Instruments", "Akustische Gitarre mit Nylonsaiten"), B::Separator}, // 24
        {QT_TRANSLATE_NOOP("Instruments", "Akustische Gitarre mit Stahlsaiten"), B::None}, // 25
        {QT_TRANSLATE_NOOP("Instruments", "Jazz-Gitarre"), B::None}, // 26
        {QT_TRANSLATE_NOOP("Instruments", "E-Gitarre unverzerrt"), B::None}, // 27
        {QT_TRANSLATE_NOOP("Instruments", "E-Gitarre gedämpft"), B::None}, // 28
        {QT_TRANSLATE_NOOP("Instruments", "E-Gitarre übersteuert"), B::None}, // 29
        {QT_TRANSLATE_NOOP("Instruments", "Distorsion-Gitarre"), B::None}, // 30
        {QT_TRANSLATE_NOOP("Instruments", "Gitarren-Akkorde"), B::None}, // 31
        {QT_TRANSLATE_NOOP("Instruments", "Akustischer Bass gezupft"), B::Column}, // 32
        {QT_TRANSLATE_NOOP("Instruments", "E-Bass gezupft"), B::None}, // 33
        {QT_TRANSLATE_NOOP("Instruments", "E-Bass Plektrum"), B::None}, // 34
        {QT_TRANSLATE_NOOP("Instruments", "Bundloser Bass"), B::None}, // 35
        {QT_TRANSLATE_NOOP("Instruments", "Schlagbass 1"), B::None}, // 36
        {QT_TRANSLATE_NOOP("Instruments", "Schlagbass 2"), B::None}, // 37
        {QT_TRANSLATE_NOOP("Instruments", "Synthesizer Bass 1"), B::None}, // 38
        {QT_TRANSLATE_NOOP("Instruments", "Synthesizer Bass 2"), B::None}, // 39
        {QT_TRANSLATE_NOOP("Instruments", "Violine"), B::Separator}, // 40
        {QT_TRANSLATE_NOOP("Instruments", "Viola"), B::None}, // 41
        {QT_TRANSLATE_NOOP("Instruments", "Violoncello"), B::None}, // 42
        {QT_TRANSLATE_NOOP("Instruments", "Kontrabass"), B::None}, // 43
        {QT_TRANSLATE_NOOP("Instruments", "Streicher Tremolo"), B::None}, // 44
        {QT_TRANSLATE_NOOP("Instruments", "Streicher Pizzicato"), B::None}, // 45
        {QT_TRANSLATE_NOOP("Instruments", "Orchester-Harfe"), B::None}, // 46
        {QT_TRANSLATE_NOOP("Instruments", "Pauken"), B::Separator}, // 47
        {QT_TRANSLATE_NOOP("Instruments", "Streicher 1"), B::None}, // 48
        {QT_TRANSLATE_NOOP("Instruments", "Streicher 2"), B::None}, // 49
        {QT_TRANSLATE_NOOP("Instruments", "Synthesizer-Streicher 1"), B::None}, // 50
        {QT_TRANSLATE_NOOP("Instruments", "Synthesizer-Streicher 2"), B::None}, // 51
        {QT_TRANSLATE_NOOP("Instruments", "Chor \"Aaaaah\""), B::None}, // 52
        {QT_TRANSLATE_NOOP("Instruments", "Stimme \"Ooooh\""), B::None}, // 53
        {QT_TRANSLATE_NOOP("Instruments", "Synthesizer-Stimme"), B::None}, // 54
        {QT_TRANSLATE_NOOP("Instruments", "Orchester-Schlag"), B::None}, // 55
        {QT_TRANSLATE_NOOP("Instruments", "Trompete"), B::Separator}, // 56
        {QT_TRANSLATE_NOOP("Instruments", "Posaune"), B::None}, // 57
        {QT_TRANSLATE_NOOP("Instruments", "Tuba"), B::None}, // 58
        {QT_TRANSLATE_NOOP("Instruments", "Gedämpfte Trompete"), B::None}, // 59
        {QT_TRANSLATE_NOOP("Instruments", "Französiches Horn"), B::None}, // 60
        {QT_TRANSLATE_NOOP("Instruments", "Blaskapelle"), B::None}, // 61
        {QT_TRANSLATE_NOOP("Instruments", "Synthesizer-Bläser 1"), B::None}, // 62
        {QT_TRANSLATE_NOOP("Instruments", "Synthesizer-Bläser 2"), B::None}, // 63
        {QT_TRANSLATE_NOOP("Instruments", "Sopran-Saxophon"), B::None}, // 64
        {QT_TRANSLATE_NOOP("Instruments", "Alt-Saxophon"), B::None}, // 65
        {QT_TRANSLATE_NOOP("Instruments", "Tenor-Saxophon"), B::None}, // 66
        {QT_TRANSLATE_NOOP("Instruments", "Bariton-Saxophon"), B::None}, // 67
        {QT_TRANSLATE_NOOP("Instruments", "Oboe"), B::Column}, // 68
        {QT_TRANSLATE_NOOP("Instruments", "Englischhorn"), B::None}, // 69
        {QT_TRANSLATE_NOOP("Instruments", "Fagott"), B::None}, // 70
        {QT_TRANSLATE_NOOP("Instruments", "Klarinette"), B::None}, // 71
        {QT_TRANSLATE_NOOP("Instruments", "Piccoloflöte"), B::None}, // 72
        {QT_TRANSLATE_NOOP("Instruments", "Flöte"), B::None}, // 73
        {QT_TRANSLATE_NOOP("Instruments", "Blockflöte"), B::None}, // 74
        {QT_TRANSLATE_NOOP("Instruments", "Panflöte"), B::None}, // 75
        {QT_TRANSLATE_NOOP("Instruments", "Flasche blasen"), B::None}, // 76
        {QT_TRANSLATE_NOOP("Instruments", "Shakuhaci"), B::None}, // 77
        {QT_TRANSLATE_NOOP("Instruments", "Pfeifen"), B::None}, // 78
        {QT_TRANSLATE_NOOP("Instruments", "Okarina"), B::None}, // 79
        {QT_TRANSLATE_NOOP("Instruments", "Reckteck-Lead"), B::Separator}, // 80
        {QT_TRANSLATE_NOOP("Instruments", "Sägezahn-Lead"), B::None}, // 81
        {QT_TRANSLATE_NOOP("Instruments", "Calliope-Lead"), B::None}, // 82
        {QT_TRANSLATE_NOOP("Instruments", "Chiff-Lead"), B::None}, // 83
        {QT_TRANSLATE_NOOP("Instruments", "Charang-Lead"), B::None}, // 84
        {QT_TRANSLATE_NOOP("Instruments", "Stimmen-Lead"), B::None}, // 85
        {QT_TRANSLATE_NOOP("Instruments", "Fünfter Lead"), B::None}, // 86
        {QT_TRANSLATE_NOOP("Instruments", "Bass-Lead"), B::None}, // 87
        {QT_TRANSLATE_NOOP("Instruments", "Pad \"New Age\""), B::Separator}, // 88
        {QT_TRANSLATE_NOOP("Instruments", "Warmer Pad"), B::None}, // 89
        {QT_TRANSLATE_NOOP("Instruments", "Polysynthesizer-Pad"), B::None}, // 90
        {QT_TRANSLATE_NOOP("Instruments", "Chor-Pad"), B::None}, // 91
        {QT_TRANSLATE_NOOP("Instruments", "bowed Pad"), B::None}, // 92
        {QT_TRANSLATE_NOOP("Instruments", "Metallic-Pad"), B::None}, // 93
        {QT_TRANSLATE_NOOP("Instruments", "Halo-Pad"), B::None}, // 94
        {QT_TRANSLATE_NOOP("Instruments", "Sweep-Pad"), B::None}, // 95
        {QT_TRANSLATE_NOOP("Instruments", "Regen"), B::Separator}, // 96
        {QT_TRANSLATE_NOOP("Instruments", "Soundtrack"), B::None}, // 97
        {QT_TRANSLATE_NOOP("Instruments", "Kristall"), B::None}, // 98
        {QT_TRANSLATE_NOOP("Instruments", "Atmosphäre"), B::None}, // 99
        {QT_TRANSLATE_NOOP("Instruments", "Helligkeit"), B::None}, // 100
        {QT_TRANSLATE_NOOP("Instruments", "Goblins"), B::None}, // 101
        {QT_TRANSLATE_NOOP("Instruments", "Echos"), B::None}, // 102
        {QT_TRANSLATE_NOOP("Instruments", "Science-Fiction"), B::None}, // 103
        {QT_TRANSLATE_NOOP("Instruments", "Sitar"), B::Column}, // 104
        {QT_TRANSLATE_NOOP("Instruments", "Banjo"), B::None}, // 105
        {QT_TRANSLATE_NOOP("Instruments", "Shamisen"), B::None}, // 106
        {QT_TRANSLATE_NOOP("Instruments", "Koto"), B::None}, // 107
        {QT_TRANSLATE_NOOP("Instruments", "Kalimba"), B::None}, // 108
        {QT_TRANSLATE_NOOP("Instruments", "Dudelsack"), B::None}, // 109
        {QT_TRANSLATE_NOOP("Instruments", "Western-Fidel"), B::None}, // 110
        {QT_TRANSLATE_NOOP("Instruments", "Shanai"), B::None}, // 111
        {QT_TRANSLATE_NOOP("Instruments", "Tinkle Bell"), B::Separator}, // 112
        {QT_TRANSLATE_NOOP("Instruments", "Agogo"), B::None}, // 113
        {QT_TRANSLATE_NOOP("Instruments", "Stahltrommeln"), B::None}, // 114
        {QT_TRANSLATE_NOOP("Instruments", "Klanghölzer oder Holzblocktrommeln"), B::None}, // 115
        {QT_TRANSLATE_NOOP("Instruments", "Taiko-Trommel"), B::None}, // 116
        {QT_TRANSLATE_NOOP("Instruments", "Melodischer Tom"), B::None}, // 117
        {QT_TRANSLATE_NOOP("Instruments", "Synthesizer-Trommel"), B::None}, // 118
        {QT_TRANSLATE_NOOP("Instruments", "Umgekehrtes Hi-Hat"), B::None}, // 119
        {QT_TRANSLATE_NOOP("Instruments", "Geräusch des Gitarrenbundes"), B::Separator}, // 120
        {QT_TRANSLATE_NOOP("Instruments", "Atemgeräusch"), B::None}, // 121
        {QT_TRANSLATE_NOOP("Instruments", "Brandung an der Küste"), B::None}, // 122
        {QT_TRANSLATE_NOOP("Instruments", "Vogelstimme"), B::None}, // 123
        {QT_TRANSLATE_NOOP("Instruments", "Telefon"), B::None}, // 124
        {QT_TRANSLATE_NOOP("Instruments", "Hubschrauber"), B::None}, // 125
        {QT_TRANSLATE_NOOP("Instruments", "Applaus"), B::None}, // 126
        {QT_TRANSLATE_NOOP("Instruments", "Gewehr"), B::None}, // 127
    }};
}();

} // namespace app
