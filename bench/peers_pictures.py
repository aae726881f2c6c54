#!/usr/bin/python3
"""Makes camera-like 24-megapixel JPEGs for the viewer comparison.

    peers_pictures.py MAKESAMPLES FOLDER COUNT

Each picture is a photo of the sample maker (sky, hills, ground, grain, Exif block)
with a texture of 20-pixel blocks laid over it: shown fitted in a window the blocks are
a few screen pixels wide, so the Exif thumbnail (160 pixels wide) blown up to the same
size looks measurably different from the picture itself, and a viewer showing only its
preview is not taken for one showing the picture. The thumbnail is made anew from the
textured picture so that it is a true preview. Needs Pillow and exiftool.
"""
import os
import subprocess
import sys

from PIL import Image, ImageChops


def textured(base):
    width, height = base.size
    block = 20
    # Mostly lighter and darker, a little colour, like foliage or gravel.
    light = Image.effect_noise((width // block, height // block), 20)
    tint = Image.merge("RGB", [ImageChops.add(light, Image.effect_noise(light.size, 6),
                                              scale=1.0, offset=-128) for _ in range(3)])
    tint = tint.resize((width, height), Image.Resampling.NEAREST)
    return ImageChops.add(base, tint, scale=1.0, offset=-128)


def main():
    makesamples, folder, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    for i in range(1, count + 1):
        path = os.path.join(folder, "photo%02d.jpg" % i)
        subprocess.run([makesamples, "--photo", "6000", "4000", str(i), path],
                       check=True, stdout=subprocess.DEVNULL)
        with Image.open(path) as base:
            exif = base.info.get("exif", b"")
            picture = textured(base.convert("RGB"))
        picture.save(path, quality=92, exif=exif)
        thumb = os.path.join(folder, "thumb%02d.jpg" % i)
        picture.resize((160, 107), Image.Resampling.BOX).save(thumb, quality=85)
        subprocess.run(["exiftool", "-q", "-overwrite_original",
                        "-ThumbnailImage<=" + thumb, path], check=True)
        os.remove(thumb)


if __name__ == "__main__":
    main()
