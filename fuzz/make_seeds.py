#!/usr/bin/env python3
# Writes the seed corpus of every fuzz target: valid files of each kind and
# the edge cases the tests check. Run from fuzz/corpus/.
import struct, os
def w(d, n, b):
    if isinstance(b, str):
        try: b = b.encode('latin-1')
        except UnicodeEncodeError: b = b.encode('utf-8')
    open(f'{d}/{n}', 'wb').write(b)
ints = ["0","-0","+1","123","-2147483648","2147483647","2147483648","-2147483649","$FF","$ffffffff",
        "x7FFFFFFF","X10","0x78","0X1A","0x","$","","   42"," 42 ","4 2","+-5","-$1","0x100000000",
        "00000000000000000012","\t1","1e3","０"]
for i,s in enumerate(ints): w('integer_conversion', f'seed{i:02}', s)
def settings(name, text, ops=b''):
    t = text.encode('latin-1')
    w('settings_file', name, struct.pack('>I', len(t)) + t + ops)
settings('empty', '')
settings('defaults', '[Device]\nID=0\n\n[Common]\nBeat=120\nTransposition=0\nDrums=0\nVolume=127\nInstrument=0\n')
settings('hex_beat', '[Common]\r\nBeat=0x78\r\nDrums=7\r\n')
settings('keys', '[Keys]\n226=1\n89=2\n88=3\n65=13\n$41=5\nabc=7\n49=0\n50=43\n')
settings('bom_comments', '\xef\xbb\xbf; comment\n[common]\n  beat = 60 \n[Common]\nBeat=1\n[Keys]\n')
settings('odd_lines', '[Keys\n=5\n[]\nno equals\n[Keys]\nx=a=b\n\r\n')
settings('script', '[Common]\nVolume=100\n', bytes([1,1, 1,5, 6, 0,0,0,9]) + bytes([0,4, 0,3, 3]) + bytes([1,2, 1,0, 7]))
snd = {
 'a440': '440\n500\n65535\n',
 'crlf': '440\r\n500\r\n65535\r\n262\r\n250\r\n32768',
 'cr_only': '440\r500\r65535\r',
 'seven_lines': '440\n100\n65535\n8\n100\n517\nanything',
 'rest_then_junk': '0\n500\nnot a number\n440\n50\n65535\n',
 'volumes': '440\n50\n516\n440\n50\n517\n440\n50\n32768\n440\n50\n65535\n',
 'frequencies': '8\n10\n65535\n262\n10\n65535\n12949\n10\n65535\n12950\n10\n65535\n1\n10\n65535\n2147483647\n10\n65535\n',
 'rounding': '440\n25\n65535\n440\n75\n65535\n440\n125\n65535\n440\n30\n65535\n440\n30\n65535\n440\n30\n65535\n',
 'zero_duration': '440\n0\n65535\n',
 'negative_frequency': '-440\n100\n65535\n',
 'negative_frequency_silent': '-440\n100\n0\n',
 'negative_duration': '440\n-500\n65535\n440\n100\n65535\n',
 'bad_duration': '440\nabc\n65535\n',
 'hex': '$1B8\n0x1F4\nxFFFF\n',
 'nul': '440\n500\n65535\n\x00262\n500\n65535\n',
 'huge_duration': '440\n2147483647\n65535\n440\n2147483647\n65535\n440\n2147483647\n65535\n',
 'empty': '', 'one_line': '440', 'two_lines': '440\n500\n', 'blank_line': '440\n\n65535\n',
 'volume_out_of_range': '440\n100\n-1\n440\n100\n70000\n',
}
for n,t in snd.items(): w('sound_text', n, t)
def rec(events): return b''.join(struct.pack('<IBBB', *e) for e in events)
recs = {
 'empty': b'',
 'example': rec([(0,0xC0,5,0),(20,0x90,60,100),(30,0x80,60,0)]),
 'drums': rec([(0,0xC0,0,0)] + [(t,0x99,36,127) for t in range(0,40,4)] + [(t+1,0x89,36,0) for t in range(0,40,4)]),
 'partial': rec([(0,0xC0,5,0),(3,0x90,64,90)]) + b'\x05\x00\x00',
 'partial_tick': rec([(0,0x90,60,1)]) + b'\x07\x00',
 'gaps': rec([(0,0x90,60,1),(200,0x80,60,0),(16584,0x90,61,1),(0x0FFFFFFF,0x80,61,0),(0xFFFFFFFF,0x90,1,1)]),
 'decreasing': rec([(10,0x90,60,1),(5,0x80,60,0),(0,0xB0,7,100),(10,0xD3,5,9)]),
 'negative_ticks': rec([(0x80000000,0x90,60,1),(0x7FFFFFFF,0x80,60,0),(0xFFFFFFFF,0xC0,1,0)]),
 'same_tick': rec([(0,0x90,60,1),(0,0x90,64,1),(0,0x90,67,1),(5,0x80,60,0),(5,0x80,64,0)]),
}
for n,b in recs.items(): w('midi_export', n, b)
names = ['aufnahme.vsq','Aufnahme.VSQ','lied.mid','lied.midi','x.vsqx','melodie.vnx','a.txt','noext','.vsq','dir.v/file',
         'C:\\dir.x\\file','a:b.c','x.mi','trailing.','ümlaut.äöü','x.MíD','a.b.c.d.vnx','..', 'x./y','\x00.vsq']
for i,n in enumerate(names): w('extension_key', f'seed{i:02}', n.encode('utf-8'))
# playback: a byte choosing which sends fail, then a native recording
os.makedirs('playback', exist_ok=True)
for n,b in recs.items():
    w('playback', n, b'\x00' + b)
w('playback', 'example_failing', b'\x05' + recs['example'])
w('playback', 'drums_all_failing', b'\xff' + recs['drums'])
