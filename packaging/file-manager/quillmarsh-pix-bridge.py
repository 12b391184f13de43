"""GNOME Files (Nautilus) menu items "Convert to JPEG here" and "Convert to
PNG here" for HEIC/HEIF photos, loaded by python3-nautilus. The conversion
runs in the background through the converter's helper script, which reports
failures with a desktop notification."""

import os

import gi

try:
    gi.require_version("Nautilus", "4.0")  # Nautilus 43 and later
except ValueError:
    gi.require_version("Nautilus", "3.0")
from gi.repository import GLib, GObject, Nautilus

HELPER = "/usr/lib/pixbridge/convert-here"
PHOTO_TYPES = {"image/heic", "image/heif"}
PHOTO_SUFFIXES = (".heic", ".heif")


def local_photo_paths(files):
    """The local paths of the selection when every item is a HEIC/HEIF photo,
    else an empty list: the items then do not appear at all."""
    paths = []
    for item in files:
        if item.get_uri_scheme() != "file" or item.is_directory():
            return []
        name = item.get_name() or ""
        if item.get_mime_type() not in PHOTO_TYPES and not name.lower().endswith(PHOTO_SUFFIXES):
            return []
        location = item.get_location()
        path = location.get_path() if location else None
        if not path:
            return []
        paths.append(path)
    return paths


class PixBridgeConvertMenu(GObject.GObject, Nautilus.MenuProvider):
    def get_file_items(self, *args):
        # Nautilus 4.0 passes (files), 3.0 passes (window, files).
        paths = local_photo_paths(args[-1])
        if not paths or not os.access(HELPER, os.X_OK):
            return []
        items = []
        for fmt, label in (("jpeg", "Convert to JPEG here"), ("png", "Convert to PNG here")):
            item = Nautilus.MenuItem(name="QuillmarshPixBridge::convert_" + fmt, label=label,
                                     icon="quillmarsh-pix-bridge")
            item.connect("activate", self.convert, fmt, paths)
            items.append(item)
        return items

    def convert(self, _item, fmt, paths):
        # spawn_async reaps the child itself, so no zombie stays behind
        # in the file manager.
        GLib.spawn_async([HELPER, fmt, "--"] + paths)
