"""OpenCV's side of the interop tests: reads and writes AVI files through one
of its video backends ("ffmpeg" for CAP_FFMPEG, "mjpeg" for its own Motion
JPEG reader and writer, CAP_OPENCV_MJPEG).

  read BACKEND OUTDIR FILE...
      Decodes every frame of each file into OUTDIR/NAME.bgr (frames one after
      another, rows from the top, blue green red) and prints one line per
      file: "NAME OK FRAMES WIDTH HEIGHT" or "NAME ERROR TEXT".
  write BACKEND FOURCC FPS RAW WIDTH HEIGHT OUT
      Writes the frames held in RAW (the same layout) as OUT.
"""
import os
import sys

import cv2
import numpy

BACKENDS = {"ffmpeg": cv2.CAP_FFMPEG, "mjpeg": cv2.CAP_OPENCV_MJPEG}


def read(backend, outdir, paths):
    for path in paths:
        name = os.path.basename(path)
        capture = cv2.VideoCapture(path, BACKENDS[backend])
        if not capture.isOpened():
            print(name, "ERROR not opened")
            continue
        count, width, height = 0, 0, 0
        with open(os.path.join(outdir, name + ".bgr"), "wb") as out:
            while True:
                ok, frame = capture.read()
                if not ok:
                    break
                height, width = frame.shape[:2]
                count += 1
                out.write(frame.tobytes())
        capture.release()
        print(name, "OK", count, width, height)


def write(backend, fourcc, fps, raw, width, height, out):
    frames = numpy.fromfile(raw, numpy.uint8).reshape(-1, height, width, 3)
    writer = cv2.VideoWriter(out, BACKENDS[backend], cv2.VideoWriter_fourcc(*fourcc), fps, (width, height))
    if not writer.isOpened():
        sys.exit("the writer did not open")
    for frame in frames:
        writer.write(frame)
    writer.release()


def main(args):
    if args[0] == "read":
        read(args[1], args[2], args[3:])
    elif args[0] == "write":
        write(args[1], args[2], float(args[3]), args[4], int(args[5]), int(args[6]), args[7])
    else:
        sys.exit("unknown command " + args[0])


if __name__ == "__main__":
    main(sys.argv[1:])
