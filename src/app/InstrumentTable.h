#pragma once
// The 128 General MIDI programs as the instrument menu shows them: German
// captions in program order, with the separators and column breaks that
// group them. An entry's program number is its position in the table.

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
        {"Konzertflügel", B::None}, // 0
        {"Sonoret", B::None}, // 1
        {"Elektrischer Flügel", B::None}, // 2
        {"Honky-Tonk-Piano", B::None}, // 3
        {"Fender-Rhodes-Piano", B::None}, // 4
        {"Chorused Piano", B::None}, // 5
        {"Cembalo", B::None}, // 6
        {"Hohner Clavinet D6", B::None}, // 7
        {"Celesta", B::Separator}, // 8
        {"Glockenspiel", B::None}, // 9
        {"Spieldose", B::None}, // 10
        {"Vibraphon", B::None}, // 11
        {"Marimbaphon", B::None}, // 12
        {"Xylophon", B::None}, // 13
        {"Röhrenglocken", B::None}, // 14
        {"Dulcimer", B::None}, // 15
        {"Hammond-Orgel", B::Separator}, // 16
        {"Perkussive Orgel", B::None}, // 17
        {"Rockorgel", B::None}, // 18
        {"Kirchenorgel", B::None}, // 19
        {"Zungenorgel", B::None}, // 20
        {"Akkordeon", B::None}, // 21
        {"Harmonika", B::None}, // 22
        {"Tango-Akkordeon", B::None}, // 23
        {"Akustische Gitarre mit Nylonsaiten", B::Separator}, // 24
        {"Akustische Gitarre mit Stahlsaiten", B::None}, // 25
        {"Jazz-Gitarre", B::None}, // 26
        {"E-Gitarre unverzerrt", B::None}, // 27
        {"E-Gitarre gedämpft", B::None}, // 28
        {"E-Gitarre übersteuert", B::None}, // 29
        {"Distorsion-Gitarre", B::None}, // 30
        {"Gitarren-Akkorde", B::None}, // 31
        {"Akustischer Bass gezupft", B::Column}, // 32
        {"E-Bass gezupft", B::None}, // 33
        {"E-Bass Plektrum", B::None}, // 34
        {"Bundloser Bass", B::None}, // 35
        {"Schlagbass 1", B::None}, // 36
        {"Schlagbass 2", B::None}, // 37
        {"Synthesizer Bass 1", B::None}, // 38
        {"Synthesizer Bass 2", B::None}, // 39
        {"Violine", B::Separator}, // 40
        {"Viola", B::None}, // 41
        {"Violoncello", B::None}, // 42
        {"Kontrabass", B::None}, // 43
        {"Streicher Tremolo", B::None}, // 44
        {"Streicher Pizzicato", B::None}, // 45
        {"Orchester-Harfe", B::None}, // 46
        {"Pauken", B::Separator}, // 47
        {"Streicher 1", B::None}, // 48
        {"Streicher 2", B::None}, // 49
        {"Synthesizer-Streicher 1", B::None}, // 50
        {"Synthesizer-Streicher 2", B::None}, // 51
        {"Chor \"Aaaaah\"", B::None}, // 52
        {"Stimme \"Ooooh\"", B::None}, // 53
        {"Synthesizer-Stimme", B::None}, // 54
        {"Orchester-Schlag", B::None}, // 55
        {"Trompete", B::Separator}, // 56
        {"Posaune", B::None}, // 57
        {"Tuba", B::None}, // 58
        {"Gedämpfte Trompete", B::None}, // 59
        {"Französiches Horn", B::None}, // 60
        {"Blaskapelle", B::None}, // 61
        {"Synthesizer-Bläser 1", B::None}, // 62
        {"Synthesizer-Bläser 2", B::None}, // 63
        {"Sopran-Saxophon", B::None}, // 64
        {"Alt-Saxophon", B::None}, // 65
        {"Tenor-Saxophon", B::None}, // 66
        {"Bariton-Saxophon", B::None}, // 67
        {"Oboe", B::Column}, // 68
        {"Englischhorn", B::None}, // 69
        {"Fagott", B::None}, // 70
        {"Klarinette", B::None}, // 71
        {"Piccoloflöte", B::None}, // 72
        {"Flöte", B::None}, // 73
        {"Blockflöte", B::None}, // 74
        {"Panflöte", B::None}, // 75
        {"Flasche blasen", B::None}, // 76
        {"Shakuhaci", B::None}, // 77
        {"Pfeifen", B::None}, // 78
        {"Okarina", B::None}, // 79
        {"Reckteck-Lead", B::Separator}, // 80
        {"Sägezahn-Lead", B::None}, // 81
        {"Calliope-Lead", B::None}, // 82
        {"Chiff-Lead", B::None}, // 83
        {"Charang-Lead", B::None}, // 84
        {"Stimmen-Lead", B::None}, // 85
        {"Fünfter Lead", B::None}, // 86
        {"Bass-Lead", B::None}, // 87
        {"Pad \"New Age\"", B::Separator}, // 88
        {"Warmer Pad", B::None}, // 89
        {"Polysynthesizer-Pad", B::None}, // 90
        {"Chor-Pad", B::None}, // 91
        {"bowed Pad", B::None}, // 92
        {"Metallic-Pad", B::None}, // 93
        {"Halo-Pad", B::None}, // 94
        {"Sweep-Pad", B::None}, // 95
        {"Regen", B::Separator}, // 96
        {"Soundtrack", B::None}, // 97
        {"Kristall", B::None}, // 98
        {"Atmosphäre", B::None}, // 99
        {"Helligkeit", B::None}, // 100
        {"Goblins", B::None}, // 101
        {"Echos", B::None}, // 102
        {"Science-Fiction", B::None}, // 103
        {"Sitar", B::Column}, // 104
        {"Banjo", B::None}, // 105
        {"Shamisen", B::None}, // 106
        {"Koto", B::None}, // 107
        {"Kalimba", B::None}, // 108
        {"Dudelsack", B::None}, // 109
        {"Western-Fidel", B::None}, // 110
        {"Shanai", B::None}, // 111
        {"Tinkle Bell", B::Separator}, // 112
        {"Agogo", B::None}, // 113
        {"Stahltrommeln", B::None}, // 114
        {"Klanghölzer oder Holzblocktrommeln", B::None}, // 115
        {"Taiko-Trommel", B::None}, // 116
        {"Melodischer Tom", B::None}, // 117
        {"Synthesizer-Trommel", B::None}, // 118
        {"Umgekehrtes Hi-Hat", B::None}, // 119
        {"Geräusch des Gitarrenbundes", B::Separator}, // 120
        {"Atemgeräusch", B::None}, // 121
        {"Brandung an der Küste", B::None}, // 122
        {"Vogelstimme", B::None}, // 123
        {"Telefon", B::None}, // 124
        {"Hubschrauber", B::None}, // 125
        {"Applaus", B::None}, // 126
        {"Gewehr", B::None}, // 127
    }};
}();

} // namespace app
