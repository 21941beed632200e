#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into corpus/<target>/ here.

Seeds are small excerpts of the example map and drive cycle, and records
holding the reader's edge cases: repeat counts, nulls, slashes, quoted texts,
pairs, exponent forms, infinities and NaNs, logical words, CR LF and CR CR LF
line ends, a missing final line feed, bytes 0, 26 and 128-255, and code page
932 text. Every run writes the same bytes; existing seeds of the same name
are replaced, others are left alone.
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "..", "examples")

CP932_DATA = b"\x83\x66\x81[\x83^"  # "data" in code page 932
ODD_BYTES = b"\x00 \x1a " + bytes(range(128, 256))


def example_lines(name, first, count):
    with open(os.path.join(EXAMPLES, name), "rb") as f:
        lines = f.read().split(b"\n")
    return b"\n".join(lines[first:first + count]) + b"\n"


def example_map_points(count, speeds, name="torque_map.dat"):
    """The map's points of the given speeds among its first `count` points,
    in the file's order (which leaves some out of order)."""
    lines = example_lines(name, 2, count).splitlines(keepends=True)
    return b"".join(line for line in lines if line.split(b"\t")[0] in speeds)


MAP_HEADER = example_lines("torque_map.dat", 0, 2)
INPUT_HEADER = example_lines("drive_cycle.dat", 0, 1)
MAP_EXCERPT = MAP_HEADER + example_map_points(52, {b"600", b"800", b"1000", b"1600"})
MAP_TAIL = MAP_HEADER + example_lines("torque_map.dat", 104, 26)
INPUT_EXCERPT = INPUT_HEADER + example_lines("drive_cycle.dat", 1, 30)
SMALL_MAP = MAP_HEADER + b"600 0 800\n600 100 1900\n600 200 3000\n" \
    b"800 0 1200\n800 100 2600\n800 200 4000\n1000 0 1600\n1000 150 4200\n"

# Records that reach the reader's rules one by one.
READER_CASES = {
    "repeat_counts": b"3*1.5\n2* 7\n2*,9\n3*\n1 2*4.25 5\n",
    "nulls": b",,5\n1,,2,\n, ,\n,\n7 , , 8\n",
    "slash": b"1 /\n/ 2 3\n4 5 6/7\n2*/\n",
    "quoted": b"'a''b'\n\"x\"\n'run on\nover records' 5\n\"say \"\"hi\"\"\" 1 2\n",
    "pairs": b"(1.5, 2) (3,\n4)\n( 1 , 2 ) 9\n(1,2 3\n",
    "exponents": b"1D3 1Q-2 1.+3\n1e308 1e309 -1e-400\n4.9e-324 2.5e-324\n.5E+1 5.d0\n",
    "infinities": b"INF -INFINITY\nNAN nan +inf\n-nan INFinity 1\n",
    "logical": b"T F\n.T. .F. 3\n.TRUE. FALSE\ntrue t\n",
    "long_numbers": b"123456789012345 1234567890123456\n9007199254740993 1\n"
                    b"0.1000000000000000055511151231257827 2\n",
    "plain_and_general": b"1 2\n1 2 3*4\n+1.5,-2.5\n1\t2\t3\n  7   8  \n",
    "editor_halfway": b"0.125 0.375\n0.0625 -2.8125\n1.005 99999999.995\n-0.0005 0.0049999\n"
                      b"12345678.125 100000000.0625\n",
    "signed_zeros": b"-0 +0\n-0.0,0.\n-.0 -0e0\n-0D0 -00000000000000000\n",
    "crlf": b"1 2\r\n3 4\r\n'x'\r\n",
    "cr_cr_lf": b"1 2\r\r\n3 4\r\r\n\r\r\n5 6\r\r\n",
    "no_final_lf": b"1 2\n3 4 5\n6",
    "odd_bytes": ODD_BYTES + b"\n1 2\n" + ODD_BYTES + b"\n3\x1a4\n",
    "cp932_text": CP932_DATA + b" 1 2\n'" + CP932_DATA + b"'\n" + CP932_DATA + b"\n",
    "blank_records": b"\n   \n\t\n1\n\n2 3\n",
    "errors": b"1*2*3\n0*5\n2147483648*1\n1.2.3\n1e\n--1\n",
}

# Texts past the length kept (1024 characters) and the longest value read
# (2049): one quoted over two records, one undelimited.
LONG_TEXTS = b"'" + b"x" * 1000 + b"\n" + b"y" * 100 + b"'\n" + b"z" * 2050 + b" 1\n"

# The reader target's first two bytes. The plan: four steps (0 two doubles,
# 1 three doubles, 2 one text, 3 the end-of-file inquiry). The access: 0 a
# regular file, 1 a pipe kept for replay, 2 a pipe not kept, 3 a first buffer
# that must grow, 4 records crossing the first buffer's end (`cross` bytes
# before it).
def plan(steps, access, cross=0):
    return bytes([steps[0] | steps[1] << 2 | steps[2] << 4 | steps[3] << 6,
                  access | cross << 3])


READER_PLANS = [
    plan((1, 1, 1, 1), 0), plan((2, 0, 1, 0), 1),
    plan((0, 3, 1, 2), 0), plan((1, 2, 3, 0), 3), plan((0, 1, 2, 0), 2),
    plan((2, 2, 0, 3), 1), plan((0, 0, 1, 1), 4, 5), plan((2, 1, 0, 3), 4, 0),
]

MAP_CASES = {
    "example_excerpt": MAP_EXCERPT,
    "example_tail": MAP_TAIL,
    "small": SMALL_MAP,
    "repeat_counts": MAP_HEADER + b"2*600 0\n600 2*100\n800 0 1200\n800,100,2600\n3*1000\n",
    "pairs_exponents": MAP_HEADER + b"(6D2, 1) 0 8Q2\n6E2 1.+2 1.9D3\n8.0d2 (0,0) 12E2\n"
                                    b"800 1.0Q2 2.6+3\n",
    "infinities": MAP_HEADER + b"600 0 800\n600 INF 900\n800 0 NAN\n800 100 2600\n-INF 5 5\n",
    "logical": MAP_HEADER + b"T F 1\n.T. 1 2\nF 0 3\nF 1 4\n",
    "nulls": MAP_HEADER + b"600 0 800\n600 , 900\n",
    "slash": MAP_HEADER + b"600 0 800\n600 100 /\n",
    "quoted": MAP_HEADER + b"600 0 800\n'600' 100 900\n",
    "cr_cr_lf": SMALL_MAP.replace(b"\n", b"\r\r\n"),
    "no_final_lf": SMALL_MAP[:-1],
    "odd_bytes_header": ODD_BYTES + b"\n" + CP932_DATA + b"\n600 0 800\n600 1 900\n"
                                                         b"800 0 1200\n800 1 1300\n",
    "one_run": MAP_HEADER + b"600 0 800\n600 100 1900\n600 200 3000\n",
    "one_point_run": MAP_HEADER + b"600 0 800\n600 100 1900\n800 50 2000\n",
    "descending_duplicates": MAP_HEADER + b"800 100 2600\n800 100 2600\n800 0 1200\n"
                                          b"600 200 3000\n600 0 800\n600 0 800\n",
    "motoring_corner": MAP_HEADER + example_map_points(60, {b"600", b"800", b"1000", b"1100"},
                                                       "motoring_map.dat"),
    "nan_speeds": MAP_HEADER + b"NAN 0 800\n600 0 800\nNAN 50 900\n600 100 1900\n800 0 1200\n"
                               b"NAN 100 1300\n800 100 2600\nNAN 0 700\n",
    "headers_only": MAP_HEADER,
    "one_header": MAP_HEADER.split(b"\n")[0] + b"\n",
}

INPUT_CASES = {
    "drive_cycle_excerpt": INPUT_EXCERPT,
    "repeat_counts": INPUT_HEADER + b"2*700\n700 2*\n3*1500\n",
    "nulls": INPUT_HEADER + b"700 50\n,80\n900,\n",
    "slash": INPUT_HEADER + b"700 50\n800/\n",
    "quoted": INPUT_HEADER + b"700 50\n'x' 1\n800 60\n",
    "pairs_exponents": INPUT_HEADER + b"(7D2, 1) 5Q1\n8.+2 6E1\n",
    "infinities": INPUT_HEADER + b"700 50\nINF 50\n700 NAN\n-INFINITY -INF\n",
    "logical": INPUT_HEADER + b"T F\n.F. 700\n",
    "out_of_range": INPUT_HEADER + b"0 0\n-1e300 1e300\n5000 -200\n650 1e-320\n",
    "crlf": INPUT_EXCERPT.replace(b"\n", b"\r\n"),
    "cr_cr_lf": INPUT_EXCERPT.replace(b"\n", b"\r\r\n"),
    "no_final_lf": INPUT_EXCERPT[:-1],
    "odd_bytes": ODD_BYTES + b"\n700 50\n\x1a\n",
    "cp932_header": CP932_DATA + b"\n700 50\n",
    "header_only": INPUT_HEADER,
}


# Tables: an option byte and a double's eight bytes before each text.
TABLE_CASES = {
    "points": (0, 0.1, b"engine speed [rpm],torque [Nm],fuel consumption [g/h]\n"
               b"800,0,1000\n800,100,2000\n1000,0,1500\n1000,100,2500\n"),
    "unit_line": (8, -0.0, b"# cycle\nt,n,Me\n# [s],[rpm],[Nm]\n0,800,10\n1,900,\n2,1e400,1e-400\n"),
    "matrix": (1 | 64, 5e-324, b"Me \\ n,800,1000\n0,1000,1500\n100,2000,\n"),
    "semicolon_quotes": (2 | 128, 1.7976931348623157e308,
                         b"\"n (1/min)\";\"Me\";\"fc\"\r\n\"800\";+1.5;inf\r\n"),
    "blanks_text": (4 | 32 | 192, 123456789.123456789,
                    b"\xef\xbb\xbfphase n [rpm] Me [Nm]\nwarm 800 10\nhot .5 1.\n"),
    "ragged": (16, 1 / 3, b"a,b\n1,2\n3\n4,5\n"),
    "empty_then_error": (0, 1e23, b"a,b\n1,\n,x\n"),
    "header_only": (16, 2.5, b"a\tb\n[s]\t[rpm]\n"),
    "long_digits": (0, 0.3, b"x\n0.1000000000000000055511151231257827021181583404541015625\n"
                    b"123456789012345678901234567890e-10\n9007199254740993\n1e23\n-00.00e-0\n"),
    "plain_rows": (0, 1181.7, b"t [s];n [rpm];Me [Nm]\n0;1181.7;327.79\n1;+1e22;-.5e-3\n"
                   b"2;9007199254740992;1e-22\n3;1e23;1.\n4;1;2;3\n"),
}


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    # Each case as statements of two doubles from a regular file, and under
    # one of the other plans in turn.
    for i, (name, data) in enumerate(READER_CASES.items()):
        write("record_reader", name, plan((0, 0, 0, 0), 0) + data)
        write("record_reader", name + "_mixed", READER_PLANS[i % len(READER_PLANS)] + data)
    write("record_reader", "long_texts", plan((2, 2, 0, 0), 0) + LONG_TEXTS)
    write("record_reader", "example_map", plan((2, 2, 1, 1), 4, 17) + MAP_EXCERPT)
    write("record_reader", "example_input", plan((2, 0, 0, 0), 1) + INPUT_EXCERPT)

    for name, data in MAP_CASES.items():
        write("map_grid", name, data)
    write("map_grid", "long_header", LONG_TEXTS + SMALL_MAP)

    for name, (option, value, text) in TABLE_CASES.items():
        write("table_reader", name, bytes([option]) + struct.pack("<d", value) + text)

    for name, data in INPUT_CASES.items():
        write("whole_run", name, SMALL_MAP + b"\x0c" + data)
    write("whole_run", "example", MAP_EXCERPT + b"\x0c" + INPUT_EXCERPT)
    write("whole_run", "map_fails", MAP_CASES["one_point_run"] + b"\x0c" + INPUT_EXCERPT)
    write("whole_run", "no_input", SMALL_MAP)
    write("whole_run", "long_header", SMALL_MAP + b"\x0c" + LONG_TEXTS)


if __name__ == "__main__":
    main()
