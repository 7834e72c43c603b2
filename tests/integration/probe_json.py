#!/usr/bin/env python3
"""kivo-probe --json as a script uses it: every command's output is one JSON
document whose keys are those the command's help documents, with the types
it gives, and the facts the Test Camera and the test media are known to
have; a failure gives the error document and exit status 1, a wrong command
line exit status 2 and nothing on standard output.

Usage: probe_json.py WINE_RUN KIVO_PROBE_EXE MEDIA_DIR
"""

import json
import re
import subprocess
import sys

WINE_RUN, PROBE, MEDIA = sys.argv[1:4]
CAMERA = "KIVO Test Camera"
ANALOG = "KIVO Test Camera (Analog)"
NON_ASCII = "KIVO Test Camera (Cam\u00e9ra \u00dcberwachung \u6e2c\u8a66)"

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what)
    return condition


def probe(*args):
    """(exit status, standard output as bytes, standard error as text)."""
    run = subprocess.run([WINE_RUN, PROBE, *args], capture_output=True, timeout=180)
    return run.returncode, run.stdout, run.stderr.decode("utf-8", "replace").replace("\r\n", "\n")


def run_json(*args, status=0):
    """The one JSON document that kivo-probe --json prints, the whole output
    parsed, with its standard error."""
    code, out, err = probe(*args, "--json")
    check(code == status, f"{args}: exit status {code}, not {status}; stderr: {err}")
    try:
        return json.loads(out.decode("utf-8")), err
    except ValueError as error:
        check(False, f"{args}: the output is not one JSON document ({error}): {out!r}")
        return {}, err


def document(*args, status=0):
    return run_json(*args, status=status)[0]


def windows_path(name):
    return "Z:" + (MEDIA + "/" + name).replace("/", "\\")


# The documented keys: the help's indented key list, nested by indentation.
# A line "    name, kind   text..." names keys one level below the last
# line indented two spaces less; deeper lines continue a description.
def documented_keys(command):
    code, out, _ = probe(command, "--help")
    text = out.decode("utf-8").replace("\r\n", "\n")
    check(code == 0 and "--json" in text, f"{command} --help shows --json")
    section = text.split("with --json", 1)[-1].split("\n")[1:]
    root = {}
    path = [root]
    for line in section:
        match = re.match(r"^( +)([a-z_]+(?:, [a-z_]+)*),?(?:  |$)", line)
        indent = len(line) - len(line.lstrip(" "))
        if not line.startswith(" "):
            break
        if not match or indent >= 20:
            continue
        depth = indent // 2
        del path[depth:]
        for key in match.group(2).split(", "):
            path[-1][key] = {}
        path.append(path[-1][key])
    return root


def check_documented(command, value, keys, where=None):
    """The keys of `value` (an object, an array of objects, or null) are the documented ones."""
    where = where or command
    if value is None or not keys:
        return
    for element in value if isinstance(value, list) else [value]:
        if not check(isinstance(element, dict), f"{where}: an object, not {element!r}"):
            continue
        check(set(element) == set(keys), f"{where}: keys {sorted(element)}, documented {sorted(keys)}")
        for key, nested in keys.items():
            check_documented(command, element.get(key), nested, f"{where}.{key}")


# Types: "int", "num", "str", "bool", a dict of keys, a one-element list of
# the element's type; a trailing "?" (or None in a tuple) allows null.
def check_types(value, shape, where):
    if isinstance(shape, str) and shape.endswith("?"):
        if value is None:
            return
        shape = shape[:-1]
    if isinstance(shape, tuple):
        if value is None:
            return
        shape = shape[0]
    if isinstance(shape, dict):
        if check(isinstance(value, dict), f"{where}: an object, not {value!r}"):
            for key, inner in shape.items():
                if check(key in value, f"{where}: no key {key}"):
                    check_types(value[key], inner, f"{where}.{key}")
    elif isinstance(shape, list):
        if check(isinstance(value, list), f"{where}: an array, not {value!r}"):
            for i, element in enumerate(value):
                check_types(element, shape[0], f"{where}[{i}]")
    else:
        kinds = {"int": int, "num": (int, float), "str": str, "bool": bool}[shape]
        ok = isinstance(value, kinds) and (shape == "bool" or not isinstance(value, bool))
        check(ok, f"{where}: {value!r} is not of the type {shape}")


POSITION = {"frame": "int?", "seconds": "num?"}
SHAPES = {
    "devices": {"devices": [{"index": "int", "name": "str", "device_path": "str?", "vfw": "bool"}]},
    "formats": {
        "device": "str",
        "formats": [{
            "index": "int", "name": "str", "width": "int", "height": "int", "min_width": "int",
            "min_height": "int", "subtype": "str", "colour_space": "str", "compressed": "bool",
            "frame_rates": [{"fps": "num", "interval": "int"}],
        }],
    },
    "properties": {
        "device": "str",
        "properties": [{
            "name": "str", "kind": "str", "supported": "bool", "settable": "bool",
            "range": ({"minimum": "int", "maximum": "int", "step": "int", "default_value": "int",
                       "caps_flags": "int", "control": ["str"]}, None),
            "enumeration": ({"values": [{"name": "str", "value": "int"}], "default_value": "int",
                             "default_name": "str?"}, None),
            "mode": "str?", "controls": "str?", "current": "int?", "current_name": "str?",
            "current_error": "str?",
        }],
    },
    "inputs": {"device": "str", "inputs": [{"name": "str", "index": "int", "selected": "bool"}]},
    "dxversion": {"version": "str", "packed": "int"},
    "file": {
        "path": "str", "read_for_audio": "bool",
        "video": ({"format": "str", "width": "int", "height": "int", "bit_depth": "int",
                   "fps": "num"}, None),
        "audio": ({"format": "str", "sub_format": "str", "extensible": "bool",
                   "sample_rate": "int", "bit_depth": "int", "valid_bits": "int",
                   "channels": "int", "channel_mask": "int", "buffer_size": "int"}, None),
        "duration": {"frames": "int?", "samples": "int?", "seconds": "num?"},
        "position_at_open": POSITION, "position_at_end": POSITION,
        "seek": ({}, None), "stopped_by": "str", "frames_read": "int",
        "audio_read": ({"blocks": "int", "bytes": "int"}, None), "frames_written": "int?",
        "audio_written": ({"path": "str", "bytes": "int"}, None),
    },
}
ERROR_SHAPE = {"error": {"message": "str", "status": "str?"}}


def checked(command, *args, status=0):
    """The document of `command`, checked against its help and its types."""
    value = document(command, *args, status=status)
    check_documented(command, value, DOCUMENTED[command])
    check_types(value, SHAPES[command], command)
    return value


DOCUMENTED = {command: documented_keys(command) for command in SHAPES}

# devices: the Test Camera with its device path, the camera without one, and
# the non-ASCII name passed through unchanged, as UTF-8.
devices = checked("devices")["devices"]
by_name = {device["name"]: device for device in devices}
if not check(CAMERA in by_name, f"the devices include {CAMERA}: {list(by_name)}"):
    sys.exit(1)
check(by_name[CAMERA]["device_path"].startswith("\\\\?\\"), f"device path {by_name[CAMERA]}")
check(by_name[CAMERA]["vfw"] is False, "the Test Camera is no VFW device")
check(by_name.get("KIVO Test Camera (No Path)", {}).get("device_path", 0) is None,
      "the camera without a path has device_path null")
check(NON_ASCII in by_name, f"the devices include {NON_ASCII}")
check([d["index"] for d in devices] == list(range(len(devices))), "indexes in order")
check(NON_ASCII.encode("utf-8") in probe("devices", "--json")[1], "UTF-8 passes through")
# The list binds no driver: a Video for Windows device is known by its
# registration, and a device whose driver cannot be bound is listed.
check(by_name.get("KIVO Test Camera (VFW)", {}).get("vfw") is True, "the VFW camera is VFW")
check("KIVO Test Camera (Broken)" in by_name, "the camera that cannot be bound is listed")

# formats: names with their sizes, rates in frames per second and in 100 ns.
formats = checked("formats", CAMERA)
check(formats["device"] == CAMERA, f"formats of {formats['device']}")
yuy2 = [f for f in formats["formats"] if f["name"] == "YUY2_320x240"]
if check(len(yuy2) == 1, "YUY2_320x240 is listed once"):
    check((yuy2[0]["width"], yuy2[0]["height"], yuy2[0]["subtype"]) == (320, 240, "YUY2"),
          f"YUY2_320x240: {yuy2[0]}")
    check(yuy2[0]["colour_space"] == "YUV" and not yuy2[0]["compressed"], f"{yuy2[0]}")
    rates = yuy2[0]["frame_rates"]
    check(any(r["interval"] == 333333 and abs(r["fps"] - 30) < 0.001 for r in rates),
          f"30 fps, interval 333333: {rates}")
    check([r["interval"] for r in rates] == sorted(r["interval"] for r in rates),
          f"fastest first: {rates}")
for f in formats["formats"]:
    for r in f["frame_rates"]:
        check(abs(r["fps"] * r["interval"] - 1e7) < 1e7 * 1e-6, f"{f['name']}: {r}")
check(checked("formats", NON_ASCII)["device"] == NON_ASCII, "the non-ASCII name round-trips")

# properties: Brightness's range, the analog decoder's named TV standards.
properties = {p["name"]: p for p in checked("properties", CAMERA)["properties"]}
brightness = properties.get("Brightness", {})
check(brightness.get("kind") == "range" and brightness.get("enumeration", 0) is None,
      f"Brightness: {brightness}")
check({k: (brightness.get("range") or {}).get(k) for k in
       ("minimum", "maximum", "step", "default_value")} ==
      {"minimum": 0, "maximum": 255, "step": 1, "default_value": 128}, f"Brightness: {brightness}")
for p in properties.values():
    if p["mode"]:
        mode = properties.get(p["mode"], {})
        check(mode.get("kind") == "mode" and mode.get("controls") == p["name"],
              f"{p['name']}'s mode {p['mode']}: {mode}")
analog = {p["name"]: p for p in checked("properties", ANALOG)["properties"]}
standard = analog.get("AnalogVideoFormat", {})
values = {v["name"]: v["value"] for v in (standard.get("enumeration") or {}).get("values", [])}
check(standard.get("kind") == "enumerated" and values, f"AnalogVideoFormat: {standard}")
check(standard.get("current") in values.values() and
      values.get(standard.get("current_name")) == standard.get("current"),
      f"AnalogVideoFormat's current value is one of its names: {standard}")

# inputs: the analog device's three, one of them selected; none on the camera.
inputs = checked("inputs", ANALOG)["inputs"]
check(sorted(i["name"] for i in inputs) == ["composite", "svideo", "tuner"], f"inputs {inputs}")
check(sum(i["selected"] for i in inputs) == 1, f"one input is selected: {inputs}")
check(checked("inputs", CAMERA)["inputs"] == [], "the camera has no input to choose")

dx = checked("dxversion")
check(dx["version"] != "" and dx["packed"] > 0, f"dxversion {dx}")

# file: a Windows path (backslashes escaped in JSON) read to its end, a
# non-ASCII file name, a seek with a frame limit, and audio read instead of
# missing video.
avi = windows_path("rgb24_160x120_10fps_20f.avi")
read = checked("file", avi)
check(read["path"] == avi, f"the path round-trips: {read['path']!r}")
video = read["video"] or {}
check((video.get("width"), abs(video.get("height", 0))) == (160, 120), f"video {video}")
check(abs(video.get("fps", 0) - 10) < 0.01, f"video {video}")
# Wine's AVI splitter gives the duration in time only: frames may be null.
check(read["duration"]["frames"] in (20, None) and abs(read["duration"]["seconds"] - 2) < 0.01,
      f"duration {read['duration']}")
check(read["stopped_by"] == "end_of_stream" and read["frames_read"] == 20, f"{read}")
check(read["audio"] is None and read["audio_read"] is None and read["seek"] is None, f"{read}")
unicode_avi = windows_path("vid\u00e9o_\u00fcn\u00efcode.avi")
check(checked("file", unicode_avi, "--frames", "1")["path"] == unicode_avi, "non-ASCII path")
limited = checked("file", avi, "--seek", "1", "--frames", "3")
check(limited["seek"] == {"seconds": 1} and limited["stopped_by"] == "frame_limit", f"{limited}")
check(limited["frames_read"] >= 3, f"{limited}")
tone = checked("file", windows_path("tone_44100_1s.wav"))
check(tone["read_for_audio"] and tone["video"] is None, f"{tone}")
check((tone["audio"] or {}).get("sample_rate") == 44100, f"{tone}")
check((tone["audio_read"] or {}).get("bytes") == 88200, f"{tone}")

# Failures: the error document, exit status 1, the message on standard
# error too; a status when one caused the failure.
no_device, err = run_json("formats", "99", status=1)
missing, missing_err = run_json("file", windows_path("no_such_file.avi"), status=1)
for error, stderr in ((no_device, err), (missing, missing_err)):
    check_types(error, ERROR_SHAPE, "error")
    message = error.get("error", {}).get("message", "")
    check(message and stderr.strip().endswith(message), f"stderr {stderr!r} ends with {message!r}")
    print("error document:", json.dumps(error, ensure_ascii=False))
check(no_device.get("error", {}).get("status", 0) is None, f"no status for no device: {no_device}")
check("there is no device 99" in no_device.get("error", {}).get("message", ""), f"{no_device}")
missing = missing.get("error", {})
check(re.fullmatch(r"0x[0-9A-F]{8}", missing.get("status") or ""), f"status {missing}")
check(windows_path("no_such_file.avi") in missing.get("message", ""), f"the path in {missing}")
# Opening the camera that cannot be bound fails with the platform's status.
broken, _ = run_json("formats", "KIVO Test Camera (Broken)", status=1)
check(re.fullmatch(r"0x[0-9A-F]{8}", broken.get("error", {}).get("status") or ""), f"{broken}")
# No DivX decoder is installed here: the diagnosis names the one missing.
divx, _ = run_json("file", windows_path("divx_160x120.avi"), status=1)
check(divx.get("error", {}).get("missing_codec") == "DivX", f"the missing codec: {divx}")

# A wrong command line: exit status 2 and nothing on standard output.
for args in (["capture", CAMERA, "--json"], ["set", CAMERA, "Brightness=1", "--json"]):
    code, out, err = probe(*args)
    check(code == 2 and out == b"" and "--json" in err, f"{args}: {code} {out!r} {err}")

print(f"{len(failures)} failed" if failures else "all passed")
sys.exit(1 if failures else 0)
