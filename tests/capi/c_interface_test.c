/* The C interface as a C host uses it, built by each compiler the project
   tests with: every entry point refuses null, destroyed and mistyped
   handles, null pointers and wrong states with a status, and maps onto the
   device, graph and file classes. Runs against the Test Camera and the test
   media (KIVO_TEST_MEDIA). */
#include <kivo/kivo_c.h>

#include <windows.h>
#include <objbase.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

#define CHECK(condition) check((condition) != 0, #condition, __LINE__)
#define CHECK_STATUS(expected, call) check_status((expected), (call), #call, __LINE__)

static void check(int ok, const char* text, int line) {
  if (ok) return;
  ++failures;
  printf("line %d: CHECK(%s) failed\n", line, text);
}

/* A failed call names itself in the thread's last error; a successful one
   empties it. */
static void check_status(kivo_status expected, kivo_status actual, const char* call, int line) {
  const char* error = kivo_last_error();
  if (actual != expected) {
    ++failures;
    printf("line %d: %s gave 0x%08lX, expected 0x%08lX (%s)\n", line, call, (unsigned long)actual,
           (unsigned long)expected, error);
  } else if (KIVO_FAILED(actual) ? strncmp(error, "kivo_", 5) != 0 : error[0] != '\0') {
    ++failures;
    printf("line %d: %s left the last error \"%s\"\n", line, call, error);
  }
}

static void KIVO_CALL ignore_frame(void* context, const kivo_frame* frame) {
  (void)context;
  (void)frame;
}

static int open_camera(const char* name, kivo_device_graph** graph);

static char media_path[MAX_PATH];

static const char* media(const char* name) {
  const char* folder = getenv("KIVO_TEST_MEDIA");
  snprintf(media_path, sizeof media_path, "%s%s/%s", folder && folder[0] == '/' ? "Z:" : "",
           folder ? folder : ".", name);
  return media_path;
}

/* Calls every entry point that takes a handle with the given ones and
   valid other arguments; each must answer `expected`. */
static void every_entry_point(kivo_device_list* l, kivo_device_graph* g, kivo_file_graph* f,
                              kivo_status expected) {
  size_t count;
  kivo_device_info device;
  kivo_device_graph* opened = NULL;
  kivo_frame frame;
  kivo_format_info format;
  kivo_property_info property;
  kivo_media_info info;
  const char* text;
  int32_t number;
  int64_t frames;
  double seconds;
  int flag;
  CHECK_STATUS(expected, kivo_device_list_count(l, &count));
  CHECK_STATUS(expected, kivo_device_list_get(l, 0, &device));
  CHECK_STATUS(expected, kivo_device_graph_open(l, 0, KIVO_RENDER_NULL, &opened));
  CHECK(opened == NULL);
  CHECK_STATUS(expected, kivo_device_graph_set_callback(g, NULL, NULL));
  CHECK_STATUS(expected, kivo_device_graph_render(g, 0));
  CHECK_STATUS(expected, kivo_device_graph_start(g, 0));
  CHECK_STATUS(expected, kivo_device_graph_stop(g));
  CHECK_STATUS(expected, kivo_device_graph_reset(g));
  CHECK_STATUS(expected, kivo_device_graph_is_running(g, &flag));
  CHECK_STATUS(expected, kivo_device_graph_is_device_lost(g, &flag));
  CHECK_STATUS(expected, kivo_device_graph_frame_format(g, &frame));
  CHECK_STATUS(expected, kivo_device_graph_format_count(g, &count));
  CHECK_STATUS(expected, kivo_device_graph_format(g, 0, &format));
  CHECK_STATUS(expected, kivo_device_graph_select_format(g, 0));
  CHECK_STATUS(expected, kivo_device_graph_select_format_by_name(g, "YUY2_320x240"));
  CHECK_STATUS(expected, kivo_device_graph_frame_rate_count(g, &count));
  CHECK_STATUS(expected, kivo_device_graph_frame_rate(g, 0, &seconds, &frames));
  CHECK_STATUS(expected, kivo_device_graph_set_frame_rate(g, 333333, 0));
  CHECK_STATUS(expected, kivo_device_graph_input_count(g, &count));
  CHECK_STATUS(expected, kivo_device_graph_input(g, 0, &text, &number));
  CHECK_STATUS(expected, kivo_device_graph_select_input(g, 0));
  CHECK_STATUS(expected, kivo_device_graph_selected_input(g, &number));
  CHECK_STATUS(expected, kivo_device_graph_property_count(g, &count));
  CHECK_STATUS(expected, kivo_device_graph_property(g, 0, &property));
  CHECK_STATUS(expected, kivo_device_graph_property_value(g, "Brightness", 0, &text, &number));
  CHECK_STATUS(expected, kivo_device_graph_get_property(g, "Brightness", &number));
  CHECK_STATUS(expected, kivo_device_graph_set_property(g, "Brightness", 1));
  CHECK_STATUS(expected,
               kivo_file_graph_set_video_callback(f, ignore_frame, NULL, KIVO_VIDEO_RGB24));
  CHECK_STATUS(expected, kivo_file_graph_set_audio_callback(f, ignore_frame, NULL, KIVO_AUDIO_PCM));
  CHECK_STATUS(expected, kivo_file_graph_render(f, 0));
  CHECK_STATUS(expected, kivo_file_graph_start(f, 0));
  CHECK_STATUS(expected, kivo_file_graph_stop(f));
  CHECK_STATUS(expected, kivo_file_graph_reset(f));
  CHECK_STATUS(expected, kivo_file_graph_is_finished(f, &flag));
  CHECK_STATUS(expected, kivo_file_graph_missing_codec(f, &text));
  CHECK_STATUS(expected, kivo_file_graph_video_info(f, &info));
  CHECK_STATUS(expected, kivo_file_graph_audio_info(f, &info));
  CHECK_STATUS(expected, kivo_file_graph_duration_frames(f, &frames));
  CHECK_STATUS(expected, kivo_file_graph_duration_samples(f, &frames));
  CHECK_STATUS(expected, kivo_file_graph_duration_seconds(f, &seconds));
  CHECK_STATUS(expected, kivo_file_graph_position_frames(f, &frames));
  CHECK_STATUS(expected, kivo_file_graph_position_seconds(f, &seconds));
  CHECK_STATUS(expected, kivo_file_graph_seek_frames(f, 1));
  CHECK_STATUS(expected, kivo_file_graph_seek_seconds(f, 0.5));
}

static void refuses_handles_that_are_null_destroyed_or_of_another_kind(void) {
  kivo_device_list* list = NULL;
  kivo_device_graph* graph = NULL;
  kivo_file_graph* file = NULL;
  every_entry_point(NULL, NULL, NULL, KIVO_E_HANDLE);
  CHECK_STATUS(KIVO_E_HANDLE, kivo_device_list_destroy(NULL));
  CHECK_STATUS(KIVO_E_HANDLE, kivo_device_graph_destroy(NULL));
  CHECK_STATUS(KIVO_E_HANDLE, kivo_file_graph_destroy(NULL));

  CHECK_STATUS(KIVO_OK, kivo_device_list_create(&list));
  CHECK(open_camera("KIVO Test Camera", &graph));
  CHECK_STATUS(KIVO_OK, kivo_file_graph_open(media("rgb24_160x120_10fps_20f.avi"), &file));
  /* Each handle passed where another kind is expected. */
  every_entry_point((kivo_device_list*)file, (kivo_device_graph*)list, (kivo_file_graph*)graph,
                    KIVO_E_HANDLE);
  CHECK_STATUS(KIVO_E_HANDLE, kivo_device_graph_destroy((kivo_device_graph*)file));

  CHECK_STATUS(KIVO_OK, kivo_file_graph_destroy(file));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_destroy(graph));
  CHECK_STATUS(KIVO_OK, kivo_device_list_destroy(list));
  every_entry_point(list, graph, file, KIVO_E_HANDLE);
  CHECK_STATUS(KIVO_E_HANDLE, kivo_device_list_destroy(list));
  CHECK_STATUS(KIVO_E_HANDLE, kivo_device_graph_destroy(graph));
  CHECK_STATUS(KIVO_E_HANDLE, kivo_file_graph_destroy(file));
}

static void refuses_null_pointers_and_bad_values(void) {
  kivo_device_list* list = NULL;
  kivo_device_graph* graph = NULL;
  kivo_file_graph* file = NULL;
  char text[4];
  CHECK_STATUS(KIVO_E_POINTER, kivo_device_list_create(NULL));
  CHECK_STATUS(KIVO_E_POINTER, kivo_file_graph_open(NULL, &file));
  CHECK_STATUS(KIVO_E_POINTER, kivo_file_graph_open("x.avi", NULL));
  CHECK_STATUS(KIVO_E_INVALIDARG, kivo_file_graph_open("", &file));
  CHECK_STATUS(KIVO_E_POINTER, kivo_error_text(E_FAIL, NULL, 4));
  CHECK_STATUS(KIVO_E_INSUFFICIENT_BUFFER, kivo_error_text(E_FAIL, text, sizeof text));
  CHECK(strlen(text) == 3);

  CHECK_STATUS(KIVO_OK, kivo_device_list_create(&list));
  CHECK_STATUS(KIVO_E_POINTER, kivo_device_list_count(list, NULL));
  CHECK_STATUS(KIVO_E_POINTER, kivo_device_list_get(list, 0, NULL));
  CHECK_STATUS(KIVO_E_BOUNDS, kivo_device_list_get(list, (size_t)-1, (kivo_device_info*)text));
  CHECK_STATUS(KIVO_E_BOUNDS, kivo_device_graph_open(list, 1000, KIVO_RENDER_NULL, &graph));
  CHECK_STATUS(KIVO_E_INVALIDARG, kivo_device_graph_open(list, 0, -1, &graph));
  CHECK_STATUS(KIVO_E_POINTER, kivo_device_graph_open(list, 0, KIVO_RENDER_NULL, NULL));
  CHECK(open_camera("KIVO Test Camera", &graph));
  CHECK_STATUS(KIVO_E_POINTER, kivo_device_graph_is_running(graph, NULL));
  CHECK_STATUS(KIVO_E_POINTER, kivo_device_graph_select_format_by_name(graph, NULL));
  CHECK_STATUS(KIVO_E_POINTER, kivo_device_graph_get_property(graph, NULL, (int32_t*)text));
  CHECK_STATUS(KIVO_E_POINTER, kivo_device_graph_frame_rate(graph, 0, NULL, NULL));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_destroy(graph));
  CHECK_STATUS(KIVO_OK, kivo_device_list_destroy(list));

  CHECK_STATUS(KIVO_OK, kivo_file_graph_open(media("rgb24_160x120_10fps_20f.avi"), &file));
  CHECK_STATUS(KIVO_E_POINTER, kivo_file_graph_set_video_callback(file, NULL, NULL, 0));
  CHECK_STATUS(KIVO_E_INVALIDARG, kivo_file_graph_set_video_callback(file, ignore_frame, NULL, 7));
  CHECK_STATUS(KIVO_E_INVALIDARG, kivo_file_graph_set_audio_callback(file, ignore_frame, NULL, -1));
  CHECK_STATUS(KIVO_E_POINTER, kivo_file_graph_missing_codec(file, NULL));
  CHECK_STATUS(KIVO_OK, kivo_file_graph_destroy(file));
}

/* Formats, inputs, properties, positions and media info exist from the
   first render to the next reset. */
static void refuses_calls_before_render(void) {
  kivo_device_graph* graph = NULL;
  kivo_file_graph* file = NULL;
  size_t count;
  kivo_frame frame;
  kivo_media_info info;
  int64_t frames;
  int32_t value;
  CHECK(open_camera("KIVO Test Camera", &graph)); /* the graph outlives its list */
  CHECK_STATUS(KIVO_E_WRONG_STATE, kivo_device_graph_format_count(graph, &count));
  CHECK_STATUS(KIVO_E_WRONG_STATE, kivo_device_graph_select_format(graph, 0));
  CHECK_STATUS(KIVO_E_WRONG_STATE, kivo_device_graph_input_count(graph, &count));
  CHECK_STATUS(KIVO_E_WRONG_STATE, kivo_device_graph_property_count(graph, &count));
  CHECK_STATUS(KIVO_E_WRONG_STATE, kivo_device_graph_get_property(graph, "Brightness", &value));
  CHECK_STATUS(KIVO_E_WRONG_STATE, kivo_device_graph_frame_format(graph, &frame));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_render(graph, 0));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_format_count(graph, &count));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_reset(graph));
  CHECK_STATUS(KIVO_E_WRONG_STATE, kivo_device_graph_format_count(graph, &count));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_destroy(graph));

  CHECK_STATUS(KIVO_OK, kivo_file_graph_open(media("rgb24_160x120_10fps_20f.avi"), &file));
  CHECK_STATUS(KIVO_E_WRONG_STATE, kivo_file_graph_video_info(file, &info));
  CHECK_STATUS(KIVO_E_WRONG_STATE, kivo_file_graph_duration_frames(file, &frames));
  CHECK_STATUS(KIVO_E_WRONG_STATE, kivo_file_graph_seek_frames(file, 1));
  CHECK_STATUS(KIVO_OK, kivo_file_graph_destroy(file));
}

struct frames_seen {
  HANDLE enough;
  LONG count;
  LONG wanted;
  kivo_frame first; /* its pointers are dropped: valid only during the call */
  char first_subtype[16];
};

static void KIVO_CALL count_frame(void* context, const kivo_frame* frame) {
  struct frames_seen* seen = (struct frames_seen*)context;
  const LONG count = InterlockedIncrement(&seen->count);
  if (count == 1) {
    seen->first = *frame;
    seen->first.data = NULL;
    seen->first.subtype = NULL;
    strncpy(seen->first_subtype, frame->subtype, sizeof seen->first_subtype - 1);
  }
  if (count == seen->wanted) SetEvent(seen->enough);
}

static int open_camera(const char* name, kivo_device_graph** graph) {
  kivo_device_list* list = NULL;
  kivo_device_info device;
  size_t count = 0, i;
  int found = 0;
  CHECK_STATUS(KIVO_OK, kivo_device_list_create(&list));
  CHECK_STATUS(KIVO_OK, kivo_device_list_count(list, &count));
  for (i = 0; i < count && !found; ++i) {
    CHECK_STATUS(KIVO_OK, kivo_device_list_get(list, i, &device));
    if (strcmp(device.name, name) == 0) {
      CHECK(strstr(device.path, "\\\\?\\") == device.path);
      CHECK_STATUS(KIVO_OK, kivo_device_graph_open(list, i, KIVO_RENDER_NULL, graph));
      found = 1;
    }
  }
  CHECK_STATUS(KIVO_OK, kivo_device_list_destroy(list));
  CHECK(found);
  return found;
}

static const kivo_property_info* find_property(kivo_device_graph* graph, const char* name,
                                               kivo_property_info* info) {
  size_t count = 0, i;
  CHECK_STATUS(KIVO_OK, kivo_device_graph_property_count(graph, &count));
  for (i = 0; i < count; ++i) {
    CHECK_STATUS(KIVO_OK, kivo_device_graph_property(graph, i, info));
    if (strcmp(info->name, name) == 0) return info;
  }
  return NULL;
}

static void captures_from_the_test_camera(void) {
  kivo_device_graph* graph = NULL;
  struct frames_seen seen = {0};
  kivo_format_info format;
  kivo_property_info brightness;
  size_t count = 0;
  double fps = 0;
  int64_t interval = 0;
  int32_t value = 0;
  if (!open_camera("KIVO Test Camera", &graph)) return;
  CHECK_STATUS(KIVO_OK, kivo_device_graph_render(graph, 0));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_format_count(graph, &count));
  CHECK_STATUS(KIVO_E_BOUNDS, kivo_device_graph_format(graph, count, &format));
  CHECK_STATUS(KIVO_E_NOT_FOUND, kivo_device_graph_select_format_by_name(graph, "YUY2_1x1"));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_select_format_by_name(graph, "YUY2_320x240"));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_frame_rate_count(graph, &count));
  CHECK(count > 0);
  CHECK_STATUS(KIVO_OK, kivo_device_graph_frame_rate(graph, 0, &fps, &interval));
  CHECK(fps > 0 && interval == (int64_t)floor(1e7 / fps + 0.5));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_set_frame_rate(graph, interval, 1));

  CHECK(find_property(graph, "Brightness", &brightness) != NULL);
  CHECK(brightness.kind == KIVO_PROPERTY_RANGE && brightness.has_range &&
        brightness.maximum == 255);
  CHECK_STATUS(KIVO_OK, kivo_device_graph_set_property(graph, "Brightness", 77));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_get_property(graph, "Brightness", &value));
  CHECK(value == 77);
  CHECK_STATUS(KIVO_E_NOT_FOUND, kivo_device_graph_get_property(graph, "Nonexistent", &value));
  CHECK_STATUS(KIVO_E_NOINTERFACE,
               kivo_device_graph_property_value(graph, "Brightness", 0, &format.name, &value));

  seen.enough = CreateEventW(NULL, TRUE, FALSE, NULL);
  seen.wanted = 5;
  CHECK_STATUS(KIVO_OK, kivo_device_graph_set_callback(graph, count_frame, &seen));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_start(graph, 0));
  CHECK(WaitForSingleObject(seen.enough, 10000) == WAIT_OBJECT_0);
  CHECK_STATUS(KIVO_OK, kivo_device_graph_stop(graph));
  /* The frames of the chosen format, with its layout. */
  CHECK(seen.first.width == 320 && seen.first.height == 240 && seen.first.stride == 640);
  CHECK(seen.first.size == 320 * 240 * 2 && strcmp(seen.first_subtype, "YUY2") == 0);
  CHECK_STATUS(KIVO_OK, kivo_device_graph_destroy(graph));
  CloseHandle(seen.enough);
}

static void routes_the_inputs_of_an_analog_camera(void) {
  kivo_device_graph* graph = NULL;
  kivo_property_info standard;
  const char* name = NULL;
  int32_t index = -1, selected = -1, value = 0;
  size_t count = 0;
  if (!open_camera("KIVO Test Camera (Analog)", &graph)) return;
  CHECK_STATUS(KIVO_OK, kivo_device_graph_render(graph, 0));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_input_count(graph, &count));
  CHECK(count == 3);
  CHECK_STATUS(KIVO_OK, kivo_device_graph_input(graph, 1, &name, &index));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_select_input(graph, index));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_selected_input(graph, &selected));
  CHECK(selected == index);
  CHECK(find_property(graph, "AnalogVideoFormat", &standard) != NULL);
  CHECK(standard.kind == KIVO_PROPERTY_ENUM && standard.value_count > 1 && !standard.has_range);
  CHECK_STATUS(KIVO_OK,
               kivo_device_graph_property_value(graph, "AnalogVideoFormat", 0, &name, &value));
  CHECK(strncmp(name, "ntsc", 4) == 0 || strncmp(name, "pal", 3) == 0 ||
        strncmp(name, "secam", 5) == 0);
  CHECK_STATUS(KIVO_E_BOUNDS, kivo_device_graph_property_value(
                                  graph, "AnalogVideoFormat", standard.value_count, &name, &value));
  CHECK_STATUS(KIVO_OK, kivo_device_graph_destroy(graph));
}

static void reads_a_file(void) {
  kivo_file_graph* file = NULL;
  struct frames_seen seen = {0};
  kivo_media_info info;
  int64_t frames = 0;
  double seconds = 0;
  int finished = 0, waited, rows_bottom_up;
  const char* codec = NULL;
  seen.enough = CreateEventW(NULL, TRUE, FALSE, NULL);
  seen.wanted = 10;
  CHECK_STATUS(KIVO_OK, kivo_file_graph_open(media("rgb24_160x120_10fps_20f.avi"), &file));
  CHECK_STATUS(KIVO_OK,
               kivo_file_graph_set_video_callback(file, count_frame, &seen, KIVO_VIDEO_RGB24));
  CHECK_STATUS(KIVO_OK, kivo_file_graph_render(file, 0));
  CHECK_STATUS(KIVO_OK, kivo_file_graph_video_info(file, &info));
  CHECK(info.width == 160 && abs(info.height) == 120 && strcmp(info.format, "RGB24") == 0);
  rows_bottom_up = info.height > 0; /* Wine 10's decoder gives top-down rows, Wine 8's not */
  CHECK_STATUS(KIVO_E_NOT_FOUND, kivo_file_graph_audio_info(file, &info));
  /* Wine's parsers measure in time only: the frame unit fails as the C++
     call throws, with its exception named. */
  CHECK_STATUS(E_FAIL, kivo_file_graph_duration_frames(file, &frames));
  CHECK(strstr(kivo_last_error(), "DurationUnsupportedException") != NULL);
  CHECK_STATUS(E_FAIL, kivo_file_graph_seek_frames(file, 10));
  CHECK_STATUS(KIVO_OK, kivo_file_graph_duration_seconds(file, &seconds));
  CHECK(fabs(seconds - 2.0) < 0.01);
  CHECK_STATUS(KIVO_OK, kivo_file_graph_seek_seconds(file, 1.5));
  CHECK_STATUS(KIVO_OK, kivo_file_graph_position_seconds(file, &seconds));
  CHECK(fabs(seconds - 1.5) < 0.001);
  CHECK_STATUS(KIVO_OK, kivo_file_graph_seek_seconds(file, NAN)); /* taken as 0 */
  CHECK_STATUS(KIVO_OK, kivo_file_graph_start(file, 0));
  CHECK(WaitForSingleObject(seen.enough, 10000) == WAIT_OBJECT_0);
  for (waited = 0; !finished && waited < 1000; ++waited) {
    CHECK_STATUS(KIVO_OK, kivo_file_graph_is_finished(file, &finished));
    if (!finished) WaitForSingleObject(seen.enough, 10); /* already set: a bounded poll step */
  }
  CHECK(finished && seen.count == 20);
  CHECK(seen.first.bottom_up == rows_bottom_up);
  CHECK(seen.first.width == 160 && seen.first.stride == 480);
  CHECK(seen.first.size == 160 * 120 * 3 && fabs(seen.first.time) < 0.001);
  CHECK_STATUS(KIVO_OK, kivo_file_graph_destroy(file));

  /* A file that is no media: render fails with a status and a diagnosis. */
  CHECK_STATUS(KIVO_OK, kivo_file_graph_open(media("random.avi"), &file));
  CHECK_STATUS(KIVO_OK,
               kivo_file_graph_set_video_callback(file, count_frame, &seen, KIVO_VIDEO_ANY));
  CHECK(KIVO_FAILED(kivo_file_graph_render(file, 0)));
  CHECK_STATUS(KIVO_OK, kivo_file_graph_missing_codec(file, &codec));
  CHECK(codec != NULL && codec[0] != '\0');
  CHECK_STATUS(KIVO_OK, kivo_file_graph_destroy(file));
  CloseHandle(seen.enough);
}

static void answers_library_queries(void) {
  char text[64];
  uint32_t version = 0;
  CHECK(strcmp(kivo_version(), KIVO_EXPECTED_VERSION) == 0);
  CHECK_STATUS(KIVO_OK, kivo_directx_version(&version, text, sizeof text, 0));
  CHECK(version > 0 && text[0] >= '1' && text[0] <= '9');
  CHECK_STATUS(KIVO_OK, kivo_directx_version(NULL, NULL, 0, 1));
  CHECK_STATUS(KIVO_OK, kivo_error_text(KIVO_E_WRONG_STATE, text, sizeof text));
}

int main(void) {
  CoInitializeEx(NULL, COINIT_MULTITHREADED);
  refuses_handles_that_are_null_destroyed_or_of_another_kind();
  refuses_null_pointers_and_bad_values();
  refuses_calls_before_render();
  captures_from_the_test_camera();
  routes_the_inputs_of_an_analog_camera();
  reads_a_file();
  answers_library_queries();
  CoUninitialize();
  printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
