/*
 * kivo's C interface: the same devices, graphs, properties and files as the
 * C++ classes, for hosts built by any compiler and for any language with a
 * foreign-function interface (C#, Python, Rust, Go, Java...).
 *
 * Statuses. Every entry point but kivo_version and kivo_last_error returns a
 * kivo_status, which is a Windows HRESULT: negative on failure (KIVO_FAILED),
 * S_OK (0) or another non-negative value on success. A failed call also
 * leaves a text for the calling thread (kivo_last_error) that names the
 * entry point and the exception or status behind the failure; a successful
 * call empties it. No C++ exception ever leaves an entry point.
 *
 * Statuses of the interface itself:
 *   KIVO_E_HANDLE       a null handle, one already destroyed, or a handle of
 *                       another kind
 *   KIVO_E_POINTER      a null out-parameter, name or callback
 *   KIVO_E_BOUNDS       an index past the end of its list
 *   KIVO_E_NOT_FOUND    no property or format of that name; no stream of
 *                       that kind in the file
 *   KIVO_E_WRONG_STATE  the object is not in a state for the call (formats,
 *                       inputs and properties before the first render, a
 *                       position of a graph that is not rendered)
 *   KIVO_E_INVALIDARG   a value the call cannot take (an unknown frame
 *                       format, a text that is not a file name)
 *   KIVO_E_NOINTERFACE  the property has no named values
 *   KIVO_E_INSUFFICIENT_BUFFER  a text did not fit the caller's buffer (the
 *                       buffer holds as much of it as fits, terminated)
 * Any other failure is the platform's status, or the status of the C++
 * exception behind it (E_FAIL for an unsupported duration or position unit,
 * the creation status for a filter that cannot be created).
 *
 * Texts are UTF-8. A text handed out as `const char*` belongs to kivo: it
 * stays valid until the handle it came from is destroyed or reset, and a
 * text of a graph's formats, inputs, properties or media info also until
 * the graph is rendered anew after a reset (a file graph: any render).
 *
 * Threads. As with the C++ classes: each object is driven from one thread
 * at a time, and that thread has COM initialised (CoInitializeEx). Frame
 * callbacks come on the platform's streaming threads; a callback must not
 * call back into the graph that calls it. After a call that replaces a
 * callback, stops, resets or destroys a graph returns, the old callback is
 * not called again.
 */
#ifndef KIVO_KIVO_C_H
#define KIVO_KIVO_C_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define KIVO_CALL __cdecl
#if defined(KIVO_BUILDING_DLL)
#define KIVO_C_API __declspec(dllexport)
#elif defined(KIVO_STATIC)
#define KIVO_C_API
#else
#define KIVO_C_API __declspec(dllimport)
#endif
#else
#define KIVO_CALL
#define KIVO_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t kivo_status;

#define KIVO_OK ((kivo_status)0)
#define KIVO_FAILED(status) ((status) < 0)
#define KIVO_E_HANDLE ((kivo_status)0x80070006L)
#define KIVO_E_POINTER ((kivo_status)0x80004003L)
#define KIVO_E_BOUNDS ((kivo_status)0x8000000BL)
#define KIVO_E_NOT_FOUND ((kivo_status)0x80070490L)
#define KIVO_E_WRONG_STATE ((kivo_status)0x80040227L)
#define KIVO_E_INVALIDARG ((kivo_status)0x80070057L)
#define KIVO_E_NOINTERFACE ((kivo_status)0x80004002L)
#define KIVO_E_INSUFFICIENT_BUFFER ((kivo_status)0x8007007AL)

/* ---- Library ----------------------------------------------------------- */

/* The library's version, such as "0.1.0". */
KIVO_C_API const char* KIVO_CALL kivo_version(void);

/* The calling thread's text for its last failed call; "" after a
   successful call. Valid until the thread's next call into kivo. */
KIVO_C_API const char* KIVO_CALL kivo_last_error(void);

/* The platform's text for a status into buffer (size bytes, terminator
   included); "" when the platform has none. */
KIVO_C_API kivo_status KIVO_CALL kivo_error_text(kivo_status status, char* buffer, size_t size);

/* The installed DirectX version: packed as ((major * 256 + minor) * 256 +
   letter index) and as text such as "9.0c". Either output may be null.
   With use_dxdiag the platform's diagnostic objects are asked first. */
KIVO_C_API kivo_status KIVO_CALL kivo_directx_version(uint32_t* version, char* text, size_t size,
                                                      int use_dxdiag);

/* ---- Devices ----------------------------------------------------------- */

typedef struct kivo_device_list kivo_device_list;

typedef struct kivo_device_info {
  const char* name; /* friendly name */
  const char* path; /* device path; "" when the device has none */
  int is_vfw;       /* driven through Video for Windows */
} kivo_device_info;

/* Lists the video capture devices, as they are now, from their
   registrations: listing opens no device driver. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_list_create(kivo_device_list** list);
KIVO_C_API kivo_status KIVO_CALL kivo_device_list_destroy(kivo_device_list* list);
KIVO_C_API kivo_status KIVO_CALL kivo_device_list_count(kivo_device_list* list, size_t* count);
/* The texts stay valid while the list lives. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_list_get(kivo_device_list* list, size_t index,
                                                      kivo_device_info* info);

/* ---- Frames ------------------------------------------------------------ */

/* One sample handed to a callback; valid only during the call. A video
   frame fills the video fields, an audio sample the audio fields; the
   others are 0. */
typedef struct kivo_frame {
  const uint8_t* data;
  size_t size;     /* bytes at data */
  double time;     /* start time in seconds */
  int32_t width;   /* pixels */
  int32_t height;  /* rows, always positive */
  int32_t stride;  /* bytes from one row to the next (the luma plane's for
                      planar layouts); 0 for compressed frames and for
                      layouts kivo does not know (a file's frames in the
                      decoder's own format) */
  int32_t bottom_up;     /* RGB rows stored bottom row first */
  const char* subtype;   /* "RGB24", "YUY2", "MJPG"...; "" for audio */
  int32_t sample_rate;   /* samples per second */
  int32_t channels;
  int32_t bits_per_sample;
} kivo_frame;

typedef void(KIVO_CALL* kivo_frame_callback)(void* context, const kivo_frame* frame);

/* ---- Device graphs ----------------------------------------------------- */

typedef struct kivo_device_graph kivo_device_graph;

#define KIVO_RENDER_NULL 0  /* frames end in a null renderer */
#define KIVO_RENDER_VIDEO 1 /* frames are also shown in a video window */

typedef struct kivo_format_info {
  const char* name;    /* "YUY2_640x480": what kivo_device_graph_select_format_by_name takes */
  int32_t width;       /* the largest frame size the format offers */
  int32_t height;
  int32_t min_width;   /* the smallest */
  int32_t min_height;
  const char* subtype; /* "YUY2", "RGB24", "MJPG"... */
  uint32_t colorspace; /* kivo::colorspace::type: category, bands, index */
  int is_compressed;
} kivo_format_info;

#define KIVO_PROPERTY_RANGE 1 /* a number within a range */
#define KIVO_PROPERTY_ENUM 2  /* one of named values */
#define KIVO_PROPERTY_MODE 3  /* the named automatic/manual mode of another property */

typedef struct kivo_property_info {
  const char* name;
  int kind; /* KIVO_PROPERTY_... */
  int is_supported;
  int is_settable;
  int has_range;      /* minimum..caps_flags are the device's range */
  int32_t minimum;
  int32_t maximum;
  int32_t step;
  int32_t default_value;
  int32_t caps_flags;
  size_t value_count;   /* named values (kivo_device_graph_property_value) */
  const char* mode;     /* the name of this property's mode property, or NULL */
  const char* controls; /* a mode property: the property it controls, or NULL */
} kivo_property_info;

/* Opens the device at index of the list with its own device object: the
   list may be destroyed afterwards. A device whose driver cannot be bound
   fails here with the platform's status. renderer_mode is KIVO_RENDER_NULL or
   KIVO_RENDER_VIDEO; KIVO_RENDER_NULL also lets kivo move display filters in
   front of the frames' callback when the format needs them. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_open(kivo_device_list* list, size_t index,
                                                        int renderer_mode,
                                                        kivo_device_graph** graph);
/* Stops and tears the graph down first. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_destroy(kivo_device_graph* graph);

/* The callback receives every frame from now on, also of a running graph
   (a frame being handed to the old one is waited for); context is handed
   back to it. A null callback receives nothing. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_set_callback(kivo_device_graph* graph,
                                                                kivo_frame_callback callback,
                                                                void* context);

/* The first render reads the device's formats, frame rates, inputs and
   properties. start renders anew with the current choices and runs; on a
   running graph it changes nothing (stop first to apply new choices). With
   register_graph the graph is entered in the Running Object Table, where
   graph viewers find it. reset ends the graph and forgets every choice. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_render(kivo_device_graph* graph,
                                                          int register_graph);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_start(kivo_device_graph* graph,
                                                         int register_graph);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_stop(kivo_device_graph* graph);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_reset(kivo_device_graph* graph);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_is_running(kivo_device_graph* graph,
                                                              int* running);
/* Whether the device was removed or its stream aborted since the graph was
   built; the host then stops or resets the graph. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_is_device_lost(kivo_device_graph* graph,
                                                                  int* lost);
/* The format the frames of the rendered graph arrive in (no data, no
   time); its subtype text stays valid until the next such call. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_frame_format(kivo_device_graph* graph,
                                                                kivo_frame* format);

/* Formats: available after the first render, chosen for the next start. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_format_count(kivo_device_graph* graph,
                                                                size_t* count);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_format(kivo_device_graph* graph, size_t index,
                                                          kivo_format_info* info);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_select_format(kivo_device_graph* graph,
                                                                 size_t index);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_select_format_by_name(
    kivo_device_graph* graph, const char* name);

/* Frame rates of the selected format, fastest first: frames per second and
   the frame interval in 100 ns units. Setting one applies it at once to a
   running graph; with validate a rate the format does not list is refused. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_frame_rate_count(kivo_device_graph* graph,
                                                                    size_t* count);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_frame_rate(kivo_device_graph* graph,
                                                              size_t index,
                                                              double* frames_per_second,
                                                              int64_t* interval);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_set_frame_rate(kivo_device_graph* graph,
                                                                  int64_t interval, int validate);

/* Connector inputs ("composite", "svideo", "tuner"...; equal names are
   numbered: "composite1", "composite2") in name order, each with the index
   to route. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_input_count(kivo_device_graph* graph,
                                                               size_t* count);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_input(kivo_device_graph* graph, size_t index,
                                                         const char** name,
                                                         int32_t* input_index);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_select_input(kivo_device_graph* graph,
                                                                int32_t input_index);
/* The input routed last; -1 for a device without an analog video input. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_selected_input(kivo_device_graph* graph,
                                                                  int32_t* input_index);

/* Properties ("Brightness", "Exposure", "Exposure Mode", "TV Standard",
   "Flip Horizontal"...), in name order. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_property_count(kivo_device_graph* graph,
                                                                  size_t* count);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_property(kivo_device_graph* graph,
                                                            size_t index,
                                                            kivo_property_info* info);
/* The index-th named value of an enumerated or mode property, in name
   order. */
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_property_value(kivo_device_graph* graph,
                                                                  const char* property,
                                                                  size_t index,
                                                                  const char** name,
                                                                  int32_t* value);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_get_property(kivo_device_graph* graph,
                                                                const char* property,
                                                                int32_t* value);
KIVO_C_API kivo_status KIVO_CALL kivo_device_graph_set_property(kivo_device_graph* graph,
                                                                const char* property,
                                                                int32_t value);

/* ---- Media files ------------------------------------------------------- */

typedef struct kivo_file_graph kivo_file_graph;

#define KIVO_VIDEO_RGB24 0 /* frames as RGB24 */
#define KIVO_VIDEO_YUY2 1  /* frames as YUY2 */
#define KIVO_VIDEO_ANY 2   /* frames as the decoder gives them */
#define KIVO_AUDIO_PCM 0   /* samples as PCM */
#define KIVO_AUDIO_ANY 1   /* samples as the decoder gives them */

typedef struct kivo_media_info {
  /* video */
  int32_t width;
  int32_t height; /* negative for rows stored top row first */
  int32_t bit_depth;
  double frame_rate;
  int32_t color_channels;
  /* audio */
  int32_t sample_rate;
  int32_t bits_per_sample;
  int32_t valid_bits_per_sample;
  int32_t channels;
  uint32_t channel_mask;
  int32_t buffer_size;
  const char* sub_format; /* the audio sample format: "PCM", "IEEE_FLOAT"... */
  /* both */
  const char* format; /* "RGB24", "YUY2", "PCM", "MPEGLAYER3"... */
} kivo_media_info;

/* Opens a media file by its UTF-8 name; nothing is read before render. */
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_open(const char* file_name,
                                                      kivo_file_graph** graph);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_destroy(kivo_file_graph* graph);

/* Asks for the video (or audio) stream, delivered to the callback in format
   (KIVO_VIDEO_... / KIVO_AUDIO_...); the callback must not be null. A
   rendered graph is torn down first and keeps its position: render again
   to read on. */
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_set_video_callback(kivo_file_graph* graph,
                                                                    kivo_frame_callback callback,
                                                                    void* context, int format);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_set_audio_callback(kivo_file_graph* graph,
                                                                    kivo_frame_callback callback,
                                                                    void* context, int format);

/* When render fails, kivo_file_graph_missing_codec names the decoder the
   file needs. */
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_render(kivo_file_graph* graph,
                                                        int register_graph);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_start(kivo_file_graph* graph,
                                                       int register_graph);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_stop(kivo_file_graph* graph);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_reset(kivo_file_graph* graph);
/* Whether the running graph has played the file to its end. */
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_is_finished(kivo_file_graph* graph,
                                                             int* finished);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_missing_codec(kivo_file_graph* graph,
                                                               const char** codec);

/* The connected formats of a rendered graph; KIVO_E_NOT_FOUND without the
   stream. */
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_video_info(kivo_file_graph* graph,
                                                            kivo_media_info* info);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_audio_info(kivo_file_graph* graph,
                                                            kivo_media_info* info);

/* Duration and position of a rendered graph in frames, audio samples or
   seconds; a unit the file's streams cannot be measured in fails. */
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_duration_frames(kivo_file_graph* graph,
                                                                 int64_t* frames);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_duration_samples(kivo_file_graph* graph,
                                                                  int64_t* samples);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_duration_seconds(kivo_file_graph* graph,
                                                                  double* seconds);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_position_frames(kivo_file_graph* graph,
                                                                 int64_t* frame);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_position_seconds(kivo_file_graph* graph,
                                                                  double* seconds);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_seek_frames(kivo_file_graph* graph,
                                                             int64_t frame);
KIVO_C_API kivo_status KIVO_CALL kivo_file_graph_seek_seconds(kivo_file_graph* graph,
                                                              double seconds);

#ifdef __cplusplus
}
#endif

#endif /* KIVO_KIVO_C_H */
