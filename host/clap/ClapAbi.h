/* CLAP 1.x binary interface, declared from our notes of the published
 * interface (version 1.2.10): the entry, the plug-in factory, plug-in and host
 * objects, processing, events and the stable extensions a stereo effect with
 * an embedded editor meets. Both sides use it: the plug-in and the test hosts
 * that load a .clap file. Field order and widths are the ABI; the assertions
 * at the end pin every size and offset we rely on. Plain C, so a C host can
 * include it as well. */
#ifndef TONARVO_CLAP_ABI_H
#define TONARVO_CLAP_ABI_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The x64 conventions are single, so no calling-convention attribute. */
#if defined(_WIN32)
#define CLAP_EXPORT __declspec(dllexport)
#else
#define CLAP_EXPORT __attribute__((visibility("default")))
#endif

/* ---------------------------------------------------------------- basics */

typedef uint32_t clap_id;
#define CLAP_INVALID_ID UINT32_MAX

/* Fixed point: round(x * 2^31). */
typedef int64_t clap_beattime;
typedef int64_t clap_sectime;
#define CLAP_BEATTIME_FACTOR (((int64_t)1) << 31)
#define CLAP_SECTIME_FACTOR (((int64_t)1) << 31)

#define CLAP_NAME_SIZE 256
#define CLAP_PATH_SIZE 1024

typedef struct clap_version {
    uint32_t major;
    uint32_t minor;
    uint32_t revision;
} clap_version_t;

#define CLAP_VERSION_MAJOR 1u
#define CLAP_VERSION_MINOR 2u
#define CLAP_VERSION_REVISION 10u
#define CLAP_VERSION_INIT {CLAP_VERSION_MAJOR, CLAP_VERSION_MINOR, CLAP_VERSION_REVISION}

/* 0.x were development releases; every 1.x talks to every 1.y. */
static inline bool clap_version_is_compatible(clap_version_t v) { return v.major >= 1; }

/* ---------------------------------------------------------------- host */

typedef struct clap_host clap_host_t;
struct clap_host {
    clap_version_t clap_version;
    void* host_data;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    const void* (*get_extension)(const clap_host_t* host, const char* extension_id);
    void (*request_restart)(const clap_host_t* host);
    void (*request_process)(const clap_host_t* host);
    void (*request_callback)(const clap_host_t* host);
};

/* ---------------------------------------------------------------- events */

#define CLAP_CORE_EVENT_SPACE_ID 0

typedef struct clap_event_header {
    uint32_t size;     /* whole event, header included */
    uint32_t time;     /* frame within the block */
    uint16_t space_id; /* CLAP_CORE_EVENT_SPACE_ID for everything below */
    uint16_t type;
    uint32_t flags;
} clap_event_header_t;

enum {
    CLAP_EVENT_IS_LIVE = 1u << 0,
    CLAP_EVENT_DONT_RECORD = 1u << 1,
};

enum {
    CLAP_EVENT_NOTE_ON = 0,
    CLAP_EVENT_NOTE_OFF = 1,
    CLAP_EVENT_NOTE_CHOKE = 2,
    CLAP_EVENT_NOTE_END = 3,
    CLAP_EVENT_NOTE_EXPRESSION = 4,
    CLAP_EVENT_PARAM_VALUE = 5,
    CLAP_EVENT_PARAM_MOD = 6,
    CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
    CLAP_EVENT_PARAM_GESTURE_END = 8,
    CLAP_EVENT_TRANSPORT = 9,
    CLAP_EVENT_MIDI = 10,
    CLAP_EVENT_MIDI_SYSEX = 11,
    CLAP_EVENT_MIDI2 = 12,
};

typedef struct clap_event_note {
    clap_event_header_t header;
    int32_t note_id;
    int16_t port_index;
    int16_t channel;
    int16_t key;
    double velocity;
} clap_event_note_t;

typedef struct clap_event_note_expression {
    clap_event_header_t header;
    int32_t expression_id;
    int32_t note_id;
    int16_t port_index;
    int16_t channel;
    int16_t key;
    double value;
} clap_event_note_expression_t;

/* A plain (not normalised) value. Wildcards are -1. */
typedef struct clap_event_param_value {
    clap_event_header_t header;
    clap_id param_id;
    void* cookie;
    int32_t note_id;
    int16_t port_index;
    int16_t channel;
    int16_t key;
    double value;
} clap_event_param_value_t;

typedef struct clap_event_param_mod {
    clap_event_header_t header;
    clap_id param_id;
    void* cookie;
    int32_t note_id;
    int16_t port_index;
    int16_t channel;
    int16_t key;
    double amount;
} clap_event_param_mod_t;

typedef struct clap_event_param_gesture {
    clap_event_header_t header;
    clap_id param_id;
} clap_event_param_gesture_t;

enum {
    CLAP_TRANSPORT_HAS_TEMPO = 1u << 0,
    CLAP_TRANSPORT_HAS_BEATS_TIMELINE = 1u << 1,
    CLAP_TRANSPORT_HAS_SECONDS_TIMELINE = 1u << 2,
    CLAP_TRANSPORT_HAS_TIME_SIGNATURE = 1u << 3,
    CLAP_TRANSPORT_IS_PLAYING = 1u << 4,
    CLAP_TRANSPORT_IS_RECORDING = 1u << 5,
    CLAP_TRANSPORT_IS_LOOP_ACTIVE = 1u << 6,
    CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL = 1u << 7,
};

typedef struct clap_event_transport {
    clap_event_header_t header;
    uint32_t flags;
    clap_beattime song_pos_beats;
    clap_sectime song_pos_seconds;
    double tempo;     /* beats per minute */
    double tempo_inc; /* per sample, until the next transport event */
    clap_beattime loop_start_beats;
    clap_beattime loop_end_beats;
    clap_sectime loop_start_seconds;
    clap_sectime loop_end_seconds;
    clap_beattime bar_start;
    int32_t bar_number;
    uint16_t tsig_num;
    uint16_t tsig_denom;
} clap_event_transport_t;

typedef struct clap_event_midi {
    clap_event_header_t header;
    uint16_t port_index;
    uint8_t data[3];
} clap_event_midi_t;

typedef struct clap_event_midi_sysex {
    clap_event_header_t header;
    uint16_t port_index;
    const uint8_t* buffer;
    uint32_t size;
} clap_event_midi_sysex_t;

typedef struct clap_event_midi2 {
    clap_event_header_t header;
    uint16_t port_index;
    uint32_t data[4];
} clap_event_midi2_t;

/* Input events come sorted by time; output events are pushed in time order
 * with time < frames_count. */
typedef struct clap_input_events clap_input_events_t;
struct clap_input_events {
    void* ctx;
    uint32_t (*size)(const clap_input_events_t* list);
    const clap_event_header_t* (*get)(const clap_input_events_t* list, uint32_t index);
};

typedef struct clap_output_events clap_output_events_t;
struct clap_output_events {
    void* ctx;
    /* The host copies header->size bytes; false when it could not. */
    bool (*try_push)(const clap_output_events_t* list, const clap_event_header_t* event);
};

/* ---------------------------------------------------------------- process */

typedef struct clap_audio_buffer {
    float** data32; /* exactly one of the two is set */
    double** data64;
    uint32_t channel_count;
    uint32_t latency;
    uint64_t constant_mask;
} clap_audio_buffer_t;

typedef int32_t clap_process_status;
enum {
    CLAP_PROCESS_ERROR = 0,
    CLAP_PROCESS_CONTINUE = 1,
    CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
    CLAP_PROCESS_TAIL = 3,
    CLAP_PROCESS_SLEEP = 4,
};

typedef struct clap_process {
    int64_t steady_time;
    uint32_t frames_count;
    const clap_event_transport_t* transport;
    const clap_audio_buffer_t* audio_inputs;
    clap_audio_buffer_t* audio_outputs;
    uint32_t audio_inputs_count;
    uint32_t audio_outputs_count;
    const clap_input_events_t* in_events;
    const clap_output_events_t* out_events;
} clap_process_t;

/* ---------------------------------------------------------------- plug-in */

typedef struct clap_plugin_descriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features; /* null-terminated */
} clap_plugin_descriptor_t;

typedef struct clap_plugin clap_plugin_t;
struct clap_plugin {
    const clap_plugin_descriptor_t* desc;
    void* plugin_data;
    bool (*init)(const clap_plugin_t* plugin);
    void (*destroy)(const clap_plugin_t* plugin);
    bool (*activate)(const clap_plugin_t* plugin, double sample_rate, uint32_t min_frames_count,
                     uint32_t max_frames_count);
    void (*deactivate)(const clap_plugin_t* plugin);
    bool (*start_processing)(const clap_plugin_t* plugin);
    void (*stop_processing)(const clap_plugin_t* plugin);
    void (*reset)(const clap_plugin_t* plugin);
    clap_process_status (*process)(const clap_plugin_t* plugin, const clap_process_t* process);
    const void* (*get_extension)(const clap_plugin_t* plugin, const char* id);
    void (*on_main_thread)(const clap_plugin_t* plugin);
};

#define CLAP_PLUGIN_FACTORY_ID "clap.plugin-factory"

typedef struct clap_plugin_factory clap_plugin_factory_t;
struct clap_plugin_factory {
    uint32_t (*get_plugin_count)(const clap_plugin_factory_t* factory);
    const clap_plugin_descriptor_t* (*get_plugin_descriptor)(const clap_plugin_factory_t* factory,
                                                             uint32_t index);
    const clap_plugin_t* (*create_plugin)(const clap_plugin_factory_t* factory, const clap_host_t* host,
                                          const char* plugin_id);
};

/* The one exported symbol is a constant object of this type named
 * clap_entry. init may be called again (count it); deinit pairs with it. */
typedef struct clap_plugin_entry {
    clap_version_t clap_version;
    bool (*init)(const char* plugin_path);
    void (*deinit)(void);
    const void* (*get_factory)(const char* factory_id);
} clap_plugin_entry_t;

#define CLAP_ENTRY_SYMBOL "clap_entry"

/* ---------------------------------------------------------------- features */

#define CLAP_PLUGIN_FEATURE_INSTRUMENT "instrument"
#define CLAP_PLUGIN_FEATURE_AUDIO_EFFECT "audio-effect"
#define CLAP_PLUGIN_FEATURE_NOTE_EFFECT "note-effect"
#define CLAP_PLUGIN_FEATURE_ANALYZER "analyzer"
#define CLAP_PLUGIN_FEATURE_FILTER "filter"
#define CLAP_PLUGIN_FEATURE_DISTORTION "distortion"
#define CLAP_PLUGIN_FEATURE_EQUALIZER "equalizer"
#define CLAP_PLUGIN_FEATURE_RESTORATION "restoration"
#define CLAP_PLUGIN_FEATURE_UTILITY "utility"
#define CLAP_PLUGIN_FEATURE_MONO "mono"
#define CLAP_PLUGIN_FEATURE_STEREO "stereo"

/* ---------------------------------------------------------------- streams */

typedef struct clap_istream clap_istream_t;
struct clap_istream {
    void* ctx;
    /* Bytes read, possibly fewer than asked; 0 at the end; -1 on error. */
    int64_t (*read)(const clap_istream_t* stream, void* buffer, uint64_t size);
};

typedef struct clap_ostream clap_ostream_t;
struct clap_ostream {
    void* ctx;
    /* Bytes written, possibly fewer than asked; -1 on error. */
    int64_t (*write)(const clap_ostream_t* stream, const void* buffer, uint64_t size);
};

/* ---------------------------------------------------------------- audio ports */

#define CLAP_EXT_AUDIO_PORTS "clap.audio-ports"
#define CLAP_PORT_MONO "mono"
#define CLAP_PORT_STEREO "stereo"

enum {
    CLAP_AUDIO_PORT_IS_MAIN = 1u << 0,
    CLAP_AUDIO_PORT_SUPPORTS_64BITS = 1u << 1,
    CLAP_AUDIO_PORT_PREFERS_64BITS = 1u << 2,
    CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 1u << 3,
};

typedef struct clap_audio_port_info {
    clap_id id;
    char name[CLAP_NAME_SIZE];
    uint32_t flags;
    uint32_t channel_count;
    const char* port_type;
    clap_id in_place_pair;
} clap_audio_port_info_t;

typedef struct clap_plugin_audio_ports {
    uint32_t (*count)(const clap_plugin_t* plugin, bool is_input);
    bool (*get)(const clap_plugin_t* plugin, uint32_t index, bool is_input, clap_audio_port_info_t* info);
} clap_plugin_audio_ports_t;

enum {
    CLAP_AUDIO_PORTS_RESCAN_NAMES = 1u << 0,
    CLAP_AUDIO_PORTS_RESCAN_FLAGS = 1u << 1,
    CLAP_AUDIO_PORTS_RESCAN_CHANNEL_COUNT = 1u << 2,
    CLAP_AUDIO_PORTS_RESCAN_PORT_TYPE = 1u << 3,
    CLAP_AUDIO_PORTS_RESCAN_IN_PLACE_PAIR = 1u << 4,
    CLAP_AUDIO_PORTS_RESCAN_LIST = 1u << 5,
};

typedef struct clap_host_audio_ports {
    bool (*is_rescan_flag_supported)(const clap_host_t* host, uint32_t flag);
    void (*rescan)(const clap_host_t* host, uint32_t flags);
} clap_host_audio_ports_t;

/* ---------------------------------------------------------------- params */

#define CLAP_EXT_PARAMS "clap.params"

enum {
    CLAP_PARAM_IS_STEPPED = 1u << 0,
    CLAP_PARAM_IS_PERIODIC = 1u << 1,
    CLAP_PARAM_IS_HIDDEN = 1u << 2,
    CLAP_PARAM_IS_READONLY = 1u << 3,
    CLAP_PARAM_IS_BYPASS = 1u << 4,
    CLAP_PARAM_IS_AUTOMATABLE = 1u << 5,
    CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID = 1u << 6,
    CLAP_PARAM_IS_AUTOMATABLE_PER_KEY = 1u << 7,
    CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL = 1u << 8,
    CLAP_PARAM_IS_AUTOMATABLE_PER_PORT = 1u << 9,
    CLAP_PARAM_IS_MODULATABLE = 1u << 10,
    CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID = 1u << 11,
    CLAP_PARAM_IS_MODULATABLE_PER_KEY = 1u << 12,
    CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL = 1u << 13,
    CLAP_PARAM_IS_MODULATABLE_PER_PORT = 1u << 14,
    CLAP_PARAM_REQUIRES_PROCESS = 1u << 15,
    CLAP_PARAM_IS_ENUM = 1u << 16,
};

typedef struct clap_param_info {
    clap_id id;
    uint32_t flags;
    void* cookie;
    char name[CLAP_NAME_SIZE];
    char module[CLAP_PATH_SIZE];
    double min_value;
    double max_value;
    double default_value;
} clap_param_info_t;

typedef struct clap_plugin_params {
    uint32_t (*count)(const clap_plugin_t* plugin);
    bool (*get_info)(const clap_plugin_t* plugin, uint32_t param_index, clap_param_info_t* info);
    bool (*get_value)(const clap_plugin_t* plugin, clap_id param_id, double* out_value);
    bool (*value_to_text)(const clap_plugin_t* plugin, clap_id param_id, double value, char* out_buffer,
                          uint32_t out_buffer_capacity);
    bool (*text_to_value)(const clap_plugin_t* plugin, clap_id param_id, const char* text, double* out_value);
    /* Active: on the audio thread; else the main thread. Never beside process. */
    void (*flush)(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out);
} clap_plugin_params_t;

enum {
    CLAP_PARAM_RESCAN_VALUES = 1u << 0,
    CLAP_PARAM_RESCAN_TEXT = 1u << 1,
    CLAP_PARAM_RESCAN_INFO = 1u << 2,
    CLAP_PARAM_RESCAN_ALL = 1u << 3,
};

enum {
    CLAP_PARAM_CLEAR_ALL = 1u << 0,
    CLAP_PARAM_CLEAR_AUTOMATIONS = 1u << 1,
    CLAP_PARAM_CLEAR_MODULATIONS = 1u << 2,
};

typedef struct clap_host_params {
    void (*rescan)(const clap_host_t* host, uint32_t flags);
    void (*clear)(const clap_host_t* host, clap_id param_id, uint32_t flags);
    /* Any thread but the audio thread. */
    void (*request_flush)(const clap_host_t* host);
} clap_host_params_t;

/* ---------------------------------------------------------------- state */

#define CLAP_EXT_STATE "clap.state"

typedef struct clap_plugin_state {
    bool (*save)(const clap_plugin_t* plugin, const clap_ostream_t* stream);
    bool (*load)(const clap_plugin_t* plugin, const clap_istream_t* stream);
} clap_plugin_state_t;

typedef struct clap_host_state {
    void (*mark_dirty)(const clap_host_t* host);
} clap_host_state_t;

#define CLAP_EXT_STATE_CONTEXT "clap.state-context/2"

enum {
    CLAP_STATE_CONTEXT_FOR_PRESET = 1,
    CLAP_STATE_CONTEXT_FOR_DUPLICATE = 2,
    CLAP_STATE_CONTEXT_FOR_PROJECT = 3,
};

typedef struct clap_plugin_state_context {
    bool (*save)(const clap_plugin_t* plugin, const clap_ostream_t* stream, uint32_t context_type);
    bool (*load)(const clap_plugin_t* plugin, const clap_istream_t* stream, uint32_t context_type);
} clap_plugin_state_context_t;

/* ---------------------------------------------------------------- gui */

#define CLAP_EXT_GUI "clap.gui"
#define CLAP_WINDOW_API_WIN32 "win32"
#define CLAP_WINDOW_API_COCOA "cocoa"
#define CLAP_WINDOW_API_X11 "x11"
#define CLAP_WINDOW_API_WAYLAND "wayland"

typedef void* clap_hwnd;
typedef void* clap_nsview;
typedef unsigned long clap_xwnd; /* 8 bytes on Linux x86_64, 4 on Windows x64 */

typedef struct clap_window {
    const char* api;
    union {
        clap_nsview cocoa;
        clap_xwnd x11;
        clap_hwnd win32;
        void* ptr;
    };
} clap_window_t;

typedef struct clap_gui_resize_hints {
    bool can_resize_horizontally;
    bool can_resize_vertically;
    bool preserve_aspect_ratio;
    uint32_t aspect_ratio_width;
    uint32_t aspect_ratio_height;
} clap_gui_resize_hints_t;

/* Every function on the main thread. Sizes are physical pixels for x11 and
 * win32. */
typedef struct clap_plugin_gui {
    bool (*is_api_supported)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    bool (*get_preferred_api)(const clap_plugin_t* plugin, const char** api, bool* is_floating);
    bool (*create)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    void (*destroy)(const clap_plugin_t* plugin);
    bool (*set_scale)(const clap_plugin_t* plugin, double scale);
    bool (*get_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
    bool (*can_resize)(const clap_plugin_t* plugin);
    bool (*get_resize_hints)(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints);
    bool (*adjust_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
    bool (*set_size)(const clap_plugin_t* plugin, uint32_t width, uint32_t height);
    bool (*set_parent)(const clap_plugin_t* plugin, const clap_window_t* window);
    bool (*set_transient)(const clap_plugin_t* plugin, const clap_window_t* window);
    void (*suggest_title)(const clap_plugin_t* plugin, const char* title);
    bool (*show)(const clap_plugin_t* plugin);
    bool (*hide)(const clap_plugin_t* plugin);
} clap_plugin_gui_t;

typedef struct clap_host_gui {
    void (*resize_hints_changed)(const clap_host_t* host);
    bool (*request_resize)(const clap_host_t* host, uint32_t width, uint32_t height);
    bool (*request_show)(const clap_host_t* host);
    bool (*request_hide)(const clap_host_t* host);
    void (*closed)(const clap_host_t* host, bool was_destroyed);
} clap_host_gui_t;

/* ---------------------------------------------------------------- timers, fds */

#define CLAP_EXT_TIMER_SUPPORT "clap.timer-support"

typedef struct clap_plugin_timer_support {
    void (*on_timer)(const clap_plugin_t* plugin, clap_id timer_id);
} clap_plugin_timer_support_t;

typedef struct clap_host_timer_support {
    bool (*register_timer)(const clap_host_t* host, uint32_t period_ms, clap_id* timer_id);
    bool (*unregister_timer)(const clap_host_t* host, clap_id timer_id);
} clap_host_timer_support_t;

#define CLAP_EXT_POSIX_FD_SUPPORT "clap.posix-fd-support"

/* Both what the plug-in wants to hear of and what happened; level-triggered. */
enum {
    CLAP_POSIX_FD_READ = 1u << 0,
    CLAP_POSIX_FD_WRITE = 1u << 1,
    CLAP_POSIX_FD_ERROR = 1u << 2,
};
typedef uint32_t clap_posix_fd_flags_t;

typedef struct clap_plugin_posix_fd_support {
    void (*on_fd)(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t flags);
} clap_plugin_posix_fd_support_t;

typedef struct clap_host_posix_fd_support {
    bool (*register_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);
    bool (*modify_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);
    bool (*unregister_fd)(const clap_host_t* host, int fd);
} clap_host_posix_fd_support_t;

/* ---------------------------------------------------------------- latency, tail, render */

#define CLAP_EXT_LATENCY "clap.latency"

typedef struct clap_plugin_latency {
    uint32_t (*get)(const clap_plugin_t* plugin);
} clap_plugin_latency_t;

typedef struct clap_host_latency {
    void (*changed)(const clap_host_t* host);
} clap_host_latency_t;

#define CLAP_EXT_TAIL "clap.tail"

typedef struct clap_plugin_tail {
    uint32_t (*get)(const clap_plugin_t* plugin); /* frames; >= INT32_MAX is endless */
} clap_plugin_tail_t;

typedef struct clap_host_tail {
    void (*changed)(const clap_host_t* host);
} clap_host_tail_t;

#define CLAP_EXT_RENDER "clap.render"

typedef int32_t clap_plugin_render_mode;
enum {
    CLAP_RENDER_REALTIME = 0,
    CLAP_RENDER_OFFLINE = 1,
};

typedef struct clap_plugin_render {
    bool (*has_hard_realtime_requirement)(const clap_plugin_t* plugin);
    bool (*set)(const clap_plugin_t* plugin, clap_plugin_render_mode mode);
} clap_plugin_render_t;

/* ---------------------------------------------------------------- log, thread check */

#define CLAP_EXT_LOG "clap.log"

typedef int32_t clap_log_severity;
enum {
    CLAP_LOG_DEBUG = 0,
    CLAP_LOG_INFO = 1,
    CLAP_LOG_WARNING = 2,
    CLAP_LOG_ERROR = 3,
    CLAP_LOG_FATAL = 4,
    CLAP_LOG_HOST_MISBEHAVING = 5,
    CLAP_LOG_PLUGIN_MISBEHAVING = 6,
};

typedef struct clap_host_log {
    void (*log)(const clap_host_t* host, clap_log_severity severity, const char* msg);
} clap_host_log_t;

#define CLAP_EXT_THREAD_CHECK "clap.thread-check"

typedef struct clap_host_thread_check {
    bool (*is_main_thread)(const clap_host_t* host);
    bool (*is_audio_thread)(const clap_host_t* host);
} clap_host_thread_check_t;

/* Pages of up to eight parameters a controller surface maps to its knobs. */
#define CLAP_EXT_REMOTE_CONTROLS "clap.remote-controls/2"
#define CLAP_EXT_REMOTE_CONTROLS_COMPAT "clap.remote-controls.draft/2"
#define CLAP_REMOTE_CONTROLS_COUNT 8

typedef struct clap_remote_controls_page {
    char section_name[CLAP_NAME_SIZE];
    clap_id page_id;
    char page_name[CLAP_NAME_SIZE];
    clap_id param_ids[CLAP_REMOTE_CONTROLS_COUNT]; /* CLAP_INVALID_ID for an empty knob */
    bool is_for_preset;
} clap_remote_controls_page_t;

typedef struct clap_plugin_remote_controls {
    uint32_t (*count)(const clap_plugin_t* plugin);
    bool (*get)(const clap_plugin_t* plugin, uint32_t page_index, clap_remote_controls_page_t* page);
} clap_plugin_remote_controls_t;

#ifdef __cplusplus
}
#endif

/* ---------------------------------------------------------------- layout */

#if defined(__cplusplus)
#define CLAP_ABI_ASSERT(c, m) static_assert(c, m)
#define CLAP_ABI_OFFSET(t, f) __builtin_offsetof(t, f)
#else
#define CLAP_ABI_ASSERT(c, m) _Static_assert(c, m)
#define CLAP_ABI_OFFSET(t, f) __builtin_offsetof(t, f)
#endif

#if UINTPTR_MAX == UINT64_MAX
CLAP_ABI_ASSERT(sizeof(clap_version_t) == 12, "clap_version_t");
CLAP_ABI_ASSERT(sizeof(clap_plugin_entry_t) == 40 && CLAP_ABI_OFFSET(clap_plugin_entry_t, init) == 16,
                "clap_plugin_entry_t");
CLAP_ABI_ASSERT(sizeof(clap_plugin_factory_t) == 24, "clap_plugin_factory_t");
CLAP_ABI_ASSERT(sizeof(clap_plugin_descriptor_t) == 88 && CLAP_ABI_OFFSET(clap_plugin_descriptor_t, id) == 16 &&
                    CLAP_ABI_OFFSET(clap_plugin_descriptor_t, features) == 80,
                "clap_plugin_descriptor_t");
CLAP_ABI_ASSERT(sizeof(clap_host_t) == 88 && CLAP_ABI_OFFSET(clap_host_t, get_extension) == 56, "clap_host_t");
CLAP_ABI_ASSERT(sizeof(clap_plugin_t) == 96 && CLAP_ABI_OFFSET(clap_plugin_t, on_main_thread) == 88,
                "clap_plugin_t");
CLAP_ABI_ASSERT(sizeof(clap_process_t) == 64 && CLAP_ABI_OFFSET(clap_process_t, audio_outputs_count) == 44 &&
                    CLAP_ABI_OFFSET(clap_process_t, out_events) == 56,
                "clap_process_t");
CLAP_ABI_ASSERT(sizeof(clap_audio_buffer_t) == 32 && CLAP_ABI_OFFSET(clap_audio_buffer_t, constant_mask) == 24,
                "clap_audio_buffer_t");
CLAP_ABI_ASSERT(sizeof(clap_event_header_t) == 16 && CLAP_ABI_OFFSET(clap_event_header_t, space_id) == 8,
                "clap_event_header_t");
CLAP_ABI_ASSERT(sizeof(clap_event_param_value_t) == 56 && CLAP_ABI_OFFSET(clap_event_param_value_t, cookie) == 24 &&
                    CLAP_ABI_OFFSET(clap_event_param_value_t, key) == 40 &&
                    CLAP_ABI_OFFSET(clap_event_param_value_t, value) == 48,
                "clap_event_param_value_t");
CLAP_ABI_ASSERT(sizeof(clap_event_param_mod_t) == 56, "clap_event_param_mod_t");
CLAP_ABI_ASSERT(sizeof(clap_event_param_gesture_t) == 20, "clap_event_param_gesture_t");
CLAP_ABI_ASSERT(sizeof(clap_event_note_t) == 40 && sizeof(clap_event_note_expression_t) == 40, "note events");
CLAP_ABI_ASSERT(sizeof(clap_event_midi_t) == 24 && sizeof(clap_event_midi_sysex_t) == 40 &&
                    sizeof(clap_event_midi2_t) == 36,
                "midi events");
CLAP_ABI_ASSERT(sizeof(clap_event_transport_t) == 104 && CLAP_ABI_OFFSET(clap_event_transport_t, flags) == 16 &&
                    CLAP_ABI_OFFSET(clap_event_transport_t, song_pos_beats) == 24 &&
                    CLAP_ABI_OFFSET(clap_event_transport_t, tempo) == 40 &&
                    CLAP_ABI_OFFSET(clap_event_transport_t, bar_start) == 88 &&
                    CLAP_ABI_OFFSET(clap_event_transport_t, bar_number) == 96 &&
                    CLAP_ABI_OFFSET(clap_event_transport_t, tsig_denom) == 102,
                "clap_event_transport_t");
CLAP_ABI_ASSERT(sizeof(clap_input_events_t) == 24 && sizeof(clap_output_events_t) == 16, "event lists");
CLAP_ABI_ASSERT(sizeof(clap_istream_t) == 16 && sizeof(clap_ostream_t) == 16, "streams");
CLAP_ABI_ASSERT(sizeof(clap_audio_port_info_t) == 288 && CLAP_ABI_OFFSET(clap_audio_port_info_t, flags) == 260 &&
                    CLAP_ABI_OFFSET(clap_audio_port_info_t, port_type) == 272 &&
                    CLAP_ABI_OFFSET(clap_audio_port_info_t, in_place_pair) == 280,
                "clap_audio_port_info_t");
CLAP_ABI_ASSERT(sizeof(clap_param_info_t) == 1320 && CLAP_ABI_OFFSET(clap_param_info_t, name) == 16 &&
                    CLAP_ABI_OFFSET(clap_param_info_t, module) == 272 &&
                    CLAP_ABI_OFFSET(clap_param_info_t, min_value) == 1296 &&
                    CLAP_ABI_OFFSET(clap_param_info_t, default_value) == 1312,
                "clap_param_info_t");
CLAP_ABI_ASSERT(sizeof(clap_plugin_params_t) == 48 && sizeof(clap_host_params_t) == 24, "params tables");
CLAP_ABI_ASSERT(sizeof(clap_plugin_audio_ports_t) == 16 && sizeof(clap_host_audio_ports_t) == 16,
                "audio-ports tables");
CLAP_ABI_ASSERT(sizeof(clap_plugin_state_t) == 16 && sizeof(clap_host_state_t) == 8, "state tables");
CLAP_ABI_ASSERT(sizeof(clap_window_t) == 16 && CLAP_ABI_OFFSET(clap_window_t, x11) == 8, "clap_window_t");
CLAP_ABI_ASSERT(sizeof(clap_gui_resize_hints_t) == 12 &&
                    CLAP_ABI_OFFSET(clap_gui_resize_hints_t, aspect_ratio_width) == 4,
                "clap_gui_resize_hints_t");
CLAP_ABI_ASSERT(sizeof(clap_plugin_gui_t) == 120 && sizeof(clap_host_gui_t) == 40, "gui tables");
CLAP_ABI_ASSERT(sizeof(clap_host_timer_support_t) == 16 && sizeof(clap_host_posix_fd_support_t) == 24,
                "timer and fd tables");
CLAP_ABI_ASSERT(sizeof(clap_plugin_render_t) == 16 && sizeof(clap_host_thread_check_t) == 16,
                "render and thread-check tables");
CLAP_ABI_ASSERT(sizeof(clap_remote_controls_page_t) == 552 &&
                    CLAP_ABI_OFFSET(clap_remote_controls_page_t, page_id) == 256 &&
                    CLAP_ABI_OFFSET(clap_remote_controls_page_t, param_ids) == 516 &&
                    CLAP_ABI_OFFSET(clap_remote_controls_page_t, is_for_preset) == 548 &&
                    sizeof(clap_plugin_remote_controls_t) == 16,
                "remote-controls");
#endif

#endif /* TONARVO_CLAP_ABI_H */
