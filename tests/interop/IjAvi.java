// ImageJ's side of the interop tests, run headless (no ImageJ window, no
// menus): its own AVI reader and writer, called directly.
//
//   read OUTDIR FILE...
//       Decodes every frame of each file into OUTDIR/NAME.bgr (frames one
//       after another, rows from the top, blue green red) and prints one
//       line per file: "NAME OK FRAMES WIDTH HEIGHT" or "NAME ERROR TEXT".
//   write RAW WIDTH HEIGHT FPS COMPRESSION OUT
//       Writes the frames held in RAW (the same layout) as an AVI file;
//       COMPRESSION is none, jpeg or png.
import ij.ImagePlus;
import ij.ImageStack;
import ij.plugin.AVI_Reader;
import ij.plugin.filter.AVI_Writer;
import ij.process.ColorProcessor;
import java.io.BufferedOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Paths;

public class IjAvi {
  public static void main(String[] args) throws IOException {
    if (args[0].equals("read")) {
      for (int i = 2; i < args.length; i++) read(args[1], args[i]);
    } else if (args[0].equals("write")) {
      write(args[1], Integer.parseInt(args[2]), Integer.parseInt(args[3]), Double.parseDouble(args[4]), args[5],
            args[6]);
    } else {
      System.err.println("unknown command " + args[0]);
      System.exit(2);
    }
  }

  static void read(String outdir, String path) throws IOException {
    String name = new File(path).getName();
    AVI_Reader reader = new AVI_Reader();
    ImageStack stack = reader.makeStack(path, 1, 0, false, false, false);
    if (stack == null) {
      System.out.println(name + " ERROR " + String.valueOf(reader.getErrorText()).replaceAll("\\s+", " "));
      return;
    }
    try (OutputStream out = new BufferedOutputStream(new FileOutputStream(new File(outdir, name + ".bgr")))) {
      for (int k = 1; k <= stack.getSize(); k++) {
        for (int p : (int[]) stack.getProcessor(k).convertToRGB().getPixels()) {
          out.write(p);
          out.write(p >> 8);
          out.write(p >> 16);
        }
      }
    }
    System.out.println(name + " OK " + stack.getSize() + " " + stack.getWidth() + " " + stack.getHeight());
  }

  static void write(String raw, int width, int height, double fps, String compression, String out)
      throws IOException {
    byte[] bytes = Files.readAllBytes(Paths.get(raw));
    int frameBytes = width * height * 3;
    ImageStack stack = new ImageStack(width, height);
    for (int k = 0; k + frameBytes <= bytes.length; k += frameBytes) {
      int[] pixels = new int[width * height];
      for (int p = 0; p < pixels.length; p++) {
        int o = k + 3 * p;
        pixels[p] = (bytes[o] & 255) | (bytes[o + 1] & 255) << 8 | (bytes[o + 2] & 255) << 16;
      }
      stack.addSlice(new ColorProcessor(width, height, pixels));
    }
    ImagePlus image = new ImagePlus("frames", stack);
    image.getCalibration().fps = fps;
    int kind = compression.equals("jpeg") ? AVI_Writer.JPEG_COMPRESSION
             : compression.equals("png") ? AVI_Writer.PNG_COMPRESSION : AVI_Writer.NO_COMPRESSION;
    new AVI_Writer().writeImage(image, out, kind, 90);
  }
}
