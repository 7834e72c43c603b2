/*
 * The C host example shown in the README: captures frames from a camera and
 * reads a media file through kivo's C interface only (kivo/kivo_c.h).
 *
 *   kivo-example-c-host [--frames N] [--device NAME] FILE
 *
 * It opens the device named NAME ("KIVO Test Camera" by default) or, when no
 * device has that name, the first device; captures N frames (30 by default),
 * in YUY2 320x240 when the device offers it; then reads every video frame of
 * FILE as RGB24. It exits 0 only when both delivered frames.
 *
 * kivo takes UTF-8 names, while argv arrives in the ANSI code page: the two
 * agree for ASCII paths such as the tests'. A host that must take any name
 * converts GetCommandLineW's arguments with WideCharToMultiByte(CP_UTF8).
 */
#include <kivo/kivo_c.h>

#include <windows.h>
#include <objbase.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* No wait in this program is unbounded: a device or file that stalls makes
   it fail instead of hang. */
#define WAIT_BOUND_MS 10000
#define POLL_MS 10

/* Prints a failed call with its status and kivo's text for it; returns
   whether the call failed. */
static int failed(const char* call, kivo_status status) {
  if (!KIVO_FAILED(status)) return 0;
  fprintf(stderr, "%s failed: 0x%08lX %s\n", call, (unsigned long)(uint32_t)status,
          kivo_last_error());
  return 1;
}

/* ---- Counting frames ---------------------------------------------------- */

typedef struct frame_counter {
  volatile LONG frames;
  /* volatile: the file read sets it once the file's length is known, which
     is after the graph is built. */
  volatile LONG wanted;
  /* Set once, by the frame that makes the count reach `wanted`. Auto-reset:
     the wait that sees it consumes it, so a poll that waits on it afterwards
     is paced by its time-out instead of spinning. */
  HANDLE enough;
  /* The first frame's format. The frame itself is valid only during the
     call, so its texts are copied and its pointers dropped. */
  kivo_frame first;
  char subtype[16];
} frame_counter;

static int counter_init(frame_counter* counter, LONG wanted) {
  memset(counter, 0, sizeof *counter);
  counter->wanted = wanted;
  counter->enough = CreateEventW(NULL, FALSE, FALSE, NULL);
  if (counter->enough == NULL) {
    fprintf(stderr, "CreateEventW failed: %lu\n", (unsigned long)GetLastError());
    return 0;
  }
  return 1;
}

/* Runs on DirectShow's streaming thread, once per frame; it must not call
   back into the graph that calls it. */
static void KIVO_CALL count_frame(void* context, const kivo_frame* frame) {
  frame_counter* counter = (frame_counter*)context;
  LONG count = InterlockedIncrement(&counter->frames);
  if (count == 1 && frame->subtype != NULL) {
    size_t length = strlen(frame->subtype);
    if (length >= sizeof counter->subtype) length = sizeof counter->subtype - 1;
    memcpy(counter->subtype, frame->subtype, length);
    counter->first = *frame;
    counter->first.data = NULL;
    counter->first.subtype = NULL;
  }
  if (count == counter->wanted) SetEvent(counter->enough);
}

/* Prints the first frame's format; returns whether it describes a picture.
   Read only once the graph has stopped, when no callback runs any more. */
static int report_frames(const char* what, const frame_counter* counter) {
  const kivo_frame* f = &counter->first;
  printf("%s: %ld frames; first %ldx%ld, stride %ld, %s%s, %lu bytes\n", what,
         (long)counter->frames, (long)f->width, (long)f->height, (long)f->stride, counter->subtype,
         f->bottom_up ? " bottom-up" : "", (unsigned long)f->size);
  if (counter->frames == 0 || f->width <= 0 || f->height <= 0 || f->size == 0) {
    fprintf(stderr, "%s: no usable frame\n", what);
    return 0;
  }
  return 1;
}

/* ---- Capturing from a device -------------------------------------------- */

/* Lists the devices and opens the one named `name`, else the first. The
   graph keeps its own device object, so the list goes at once. */
static int open_device(const char* name, kivo_device_graph** graph) {
  kivo_device_list* devices = NULL;
  kivo_device_info info;
  size_t count = 0, index, chosen = 0;
  int found = 0, ok = 0;

  if (failed("kivo_device_list_create", kivo_device_list_create(&devices))) return 0;
  if (failed("kivo_device_list_count", kivo_device_list_count(devices, &count))) goto done;
  for (index = 0; index < count; ++index) {
    if (failed("kivo_device_list_get", kivo_device_list_get(devices, index, &info))) goto done;
    printf("device %lu: %s\n  path \"%s\", vfw %d\n", (unsigned long)index, info.name, info.path,
           info.is_vfw);
    if (!found && strcmp(info.name, name) == 0) {
      chosen = index;
      found = 1;
    }
  }
  if (count == 0) {
    fprintf(stderr, "no video capture device\n");
    goto done;
  }
  printf("opening device %lu\n", (unsigned long)chosen);
  ok = !failed("kivo_device_graph_open",
               kivo_device_graph_open(devices, chosen, KIVO_RENDER_NULL, graph));
done:
  failed("kivo_device_list_destroy", kivo_device_list_destroy(devices));
  return ok;
}

/* Prints the formats the first render found and picks `name` among them;
   a device without it keeps its default format. */
static int choose_format(kivo_device_graph* graph, const char* name) {
  kivo_format_info format;
  size_t count = 0, index;
  kivo_status status;

  if (failed("kivo_device_graph_format_count", kivo_device_graph_format_count(graph, &count)))
    return 0;
  for (index = 0; index < count; ++index) {
    if (failed("kivo_device_graph_format", kivo_device_graph_format(graph, index, &format)))
      return 0;
    printf("format %s (%s, %ldx%ld)\n", format.name, format.subtype, (long)format.width,
           (long)format.height);
  }
  status = kivo_device_graph_select_format_by_name(graph, name);
  if (status == KIVO_E_NOT_FOUND) {
    printf("no format %s: the device's default is used\n", name);
    return 1;
  }
  return !failed("kivo_device_graph_select_format_by_name", status);
}

static int capture(const char* device_name, long frames_wanted) {
  kivo_device_graph* graph = NULL;
  frame_counter counter;
  int ok = 0;

  if (!counter_init(&counter, frames_wanted)) return 0;
  if (!open_device(device_name, &graph)) goto done;
  if (failed("kivo_device_graph_set_callback",
             kivo_device_graph_set_callback(graph, count_frame, &counter)))
    goto done;
  /* The first render reads the device's formats; start renders again with
     the chosen one. */
  if (failed("kivo_device_graph_render", kivo_device_graph_render(graph, 0))) goto done;
  if (!choose_format(graph, "YUY2_320x240")) goto done;
  if (failed("kivo_device_graph_start", kivo_device_graph_start(graph, 0))) goto done;
  if (WaitForSingleObject(counter.enough, WAIT_BOUND_MS) != WAIT_OBJECT_0)
    fprintf(stderr, "capture: %ld of %ld frames in %d ms\n", (long)counter.frames, frames_wanted,
            WAIT_BOUND_MS);
  if (failed("kivo_device_graph_stop", kivo_device_graph_stop(graph))) goto done;
  ok = report_frames("capture", &counter) && counter.frames >= frames_wanted;
done:
  /* Destroyed before the counter goes: the callback holds its address. */
  if (graph != NULL) failed("kivo_device_graph_destroy", kivo_device_graph_destroy(graph));
  CloseHandle(counter.enough);
  return ok;
}

/* ---- Reading a file ----------------------------------------------------- */

/* kivo reports the end of a file only when asked. The counter's event wakes
   the poll as the last frame arrives; otherwise it asks every POLL_MS, for
   WAIT_BOUND_MS at most. */
static int wait_for_end(kivo_file_graph* graph, frame_counter* counter) {
  int finished = 0;
  int waited;
  for (waited = 0; waited < WAIT_BOUND_MS; waited += POLL_MS) {
    if (failed("kivo_file_graph_is_finished", kivo_file_graph_is_finished(graph, &finished)))
      return 0;
    if (finished) return 1;
    WaitForSingleObject(counter->enough, POLL_MS);
  }
  fprintf(stderr, "file: no end after %d ms\n", WAIT_BOUND_MS);
  return 0;
}

/* The file's length in frames. Not every platform measures a file in frames
   (Wine's filter graph measures only time): then it is its length in seconds
   at its frame rate. */
static int file_frames(kivo_file_graph* graph, double frame_rate, int64_t* frames) {
  double seconds = 0;
  if (!KIVO_FAILED(kivo_file_graph_duration_frames(graph, frames))) return 1;
  printf("file: no duration in frames (%s); computed from seconds\n", kivo_last_error());
  if (failed("kivo_file_graph_duration_seconds", kivo_file_graph_duration_seconds(graph, &seconds)))
    return 0;
  *frames = (int64_t)(seconds * frame_rate + 0.5);
  return 1;
}

static int read_file(const char* file_name) {
  kivo_file_graph* graph = NULL;
  kivo_media_info video;
  frame_counter counter;
  int64_t frames = 0;
  int ok = 0;

  if (!counter_init(&counter, 0)) return 0;
  if (failed("kivo_file_graph_open", kivo_file_graph_open(file_name, &graph))) goto done;
  if (failed("kivo_file_graph_set_video_callback",
             kivo_file_graph_set_video_callback(graph, count_frame, &counter, KIVO_VIDEO_RGB24)))
    goto done;
  if (failed("kivo_file_graph_render", kivo_file_graph_render(graph, 0))) goto done;
  if (failed("kivo_file_graph_video_info", kivo_file_graph_video_info(graph, &video))) goto done;
  if (!file_frames(graph, video.frame_rate, &frames)) goto done;
  printf("file: %s %ldx%ld, %ld bits, %.2f fps, %ld frames\n", video.format, (long)video.width,
         (long)video.height, (long)video.bit_depth, video.frame_rate, (long)frames);
  /* The last frame wakes the poll for the end at once. */
  counter.wanted = (LONG)frames;
  if (failed("kivo_file_graph_start", kivo_file_graph_start(graph, 0))) goto done;
  ok = wait_for_end(graph, &counter);
  if (failed("kivo_file_graph_stop", kivo_file_graph_stop(graph))) ok = 0;
  ok = report_frames("file", &counter) && ok;
done:
  if (graph != NULL) failed("kivo_file_graph_destroy", kivo_file_graph_destroy(graph));
  CloseHandle(counter.enough);
  return ok;
}

/* ---- Command line ------------------------------------------------------- */

static int usage(void) {
  fprintf(stderr, "usage: kivo-example-c-host [--frames N] [--device NAME] FILE\n");
  return 2;
}

int main(int argc, char** argv) {
  const char* device_name = "KIVO Test Camera";
  const char* file_name = NULL;
  long frames = 30;
  int arg, captured, file_read;
  HRESULT com;

  for (arg = 1; arg < argc; ++arg) {
    if (strcmp(argv[arg], "--frames") == 0 && arg + 1 < argc) {
      frames = strtol(argv[++arg], NULL, 10);
      if (frames <= 0) return usage();
    } else if (strcmp(argv[arg], "--device") == 0 && arg + 1 < argc) {
      device_name = argv[++arg];
    } else if (file_name == NULL && argv[arg][0] != '-') {
      file_name = argv[arg];
    } else {
      return usage();
    }
  }
  if (file_name == NULL) return usage();

  /* Every thread that drives a kivo object has COM initialised; frames then
     come on DirectShow's own threads. */
  com = CoInitializeEx(NULL, COINIT_MULTITHREADED);
  if (FAILED(com)) {
    fprintf(stderr, "CoInitializeEx failed: 0x%08lX\n", (unsigned long)com);
    return 1;
  }
  printf("kivo %s\n", kivo_version());
  captured = capture(device_name, frames);
  file_read = read_file(file_name);
  CoUninitialize();
  printf("%s\n", captured && file_read ? "ok" : "FAILED");
  return captured && file_read ? 0 : 1;
}
