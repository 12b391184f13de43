// Names of every command on the bus. Receivers compare them byte for byte.
#ifndef PIXBRIDGE_COMMAND_NAMES_H
#define PIXBRIDGE_COMMAND_NAMES_H

// Host commands, in the order the host subscribes to them.

// Maximises the main window on its own screen (through the window manager's
// or compositor's window states; on a bare X server the host fills the
// screen's work area itself), or restores the rectangle it had before.
// Posted on the main thread it also writes the new state into the poster's
// `number`: 1 maximised, 0 restored (posted from another thread the work
// runs later on the main thread and the poster's record is left as it was).
#define LIBPLATFORM_COMMAND_PRESS_MAX_OR_RESET "LIBPLATFORM_COMMAND_PRESS_MAX_OR_RESET"
#define LIBPLATFORM_COMMAND_OPEN_ABOUT "LIBPLATFORM_COMMAND_OPEN_ABOUT"
#define LIBPLATFORM_COMMAND_FIND_URL "LIBPLATFORM_COMMAND_FIND_URL"
#define LIBPLATFORM_COMMAND_FIND_IMAGE "LIBPLATFORM_COMMAND_FIND_IMAGE"
#define LIBPLATFORM_COMMAND_CHECK_FOR_UPDATE "LIBPLATFORM_COMMAND_CHECK_FOR_UPDATE"
#define LIBPLATFORM_COMMAND_OPEN_SETTING "LIBPLATFORM_COMMAND_OPEN_SETTING"
#define LIBCOMM_COMMAND_CHECK_FOR_UPDATE "LIBCOMM_COMMAND_CHECK_FOR_UPDATE"
#define LIBCOMM_COMMAND_DOWNLOAD_UPDATE "LIBCOMM_COMMAND_DOWNLOAD_UPDATE"
#define LIBCOMM_COMMAND_DOWNLOAD_UPDATE_CANCEL "LIBCOMM_COMMAND_DOWNLOAD_UPDATE_CANCEL"
#define LIBCOMM_COMMAND_EXIT_SERVER "LIBCOMM_COMMAND_EXIT_SERVER"
#define LIBCOMM_COMMAND_READY_START_SERVER "LIBCOMM_COMMAND_READY_START_SERVER"
#define LIBCOMM_COMMAND_SERVER_CRASH "LIBCOMM_COMMAND_SERVER_CRASH"
#define LIBCOMM_COMMAND_START_SERVICE_FAIL "LIBCOMM_COMMAND_START_SERVICE_FAIL"
#define LIBANDROID_COMMAND_ANDROID_STATUS_RECV "LIBANDROID_COMMAND_ANDROID_STATUS_RECV"
#define LIBIOS_COMMAND_START_SERVER_FINISH "LIBIOS_COMMAND_START_SERVER_FINISH"
#define LIBPLATFORM_COMMAND_GET_PRODUCT_ALIAS "LIBPLATFORM_COMMAND_GET_PRODUCT_ALIAS"
#define LIBPLATFORM_COMMAND_GET_APP_NAME "LIBPLATFORM_COMMAND_GET_APP_NAME"
#define LIBCOMM_COMMAND_GET_ANDROID_SERVICE_PATH "LIBCOMM_COMMAND_GET_ANDROID_SERVICE_PATH"
#define LIBCOMM_COMMAND_GET_ANDROID_SERVER_PATH "LIBCOMM_COMMAND_GET_ANDROID_SERVER_PATH"
#define LIBPLATFORM_COMMAND_NOTIFY_PROGRESS "LIBPLATFORM_COMMAND_NOTIFY_PROGRESS"
#define LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH "LIBPLATFORM_COMMAND_NOTIFY_PROGRESS_FINISH"
#define LIBPLATFORM_COMMAND_START_PROGRESS "LIBPLATFORM_COMMAND_START_PROGRESS"
#define LIBPLATFORM_COMMAND_CANCEL_PROGRESS "LIBPLATFORM_COMMAND_CANCEL_PROGRESS"
#define LIBPLATFORM_COMMAND_SHOW_SHEET_TIP "LIBPLATFORM_COMMAND_SHOW_SHEET_TIP"
#define LIBPLATFORM_COMMAND_GET_TEMP_DIR "LIBPLATFORM_COMMAND_GET_TEMP_DIR"
#define LIBPLATFORM_COMMAND_OPEN_ALERT_MESSAGE "LIBPLATFORM_COMMAND_OPEN_ALERT_MESSAGE"
#define LIBPLATFORM_COMMAND_OPEN_LINK_ALERT_MESSAGE "LIBPLATFORM_COMMAND_OPEN_LINK_ALERT_MESSAGE"
#define LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE "LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE"
#define LIBPLATFORM_COMMAND_GET_PRODUCT_VERSION "LIBPLATFORM_COMMAND_GET_PRODUCT_VERSION"
#define LIBPLATFORM_COMMAND_GET_MODULE_HWND "LIBPLATFORM_COMMAND_GET_MODULE_HWND"
#define LIBPLATFORM_COMMAND_GET_PRODUCT_BRAND "LIBPLATFORM_COMMAND_GET_PRODUCT_BRAND"
#define LIBPLATFORM_COMMAND_GET_GDIPLUS_FONT "LIBPLATFORM_COMMAND_GET_GDIPLUS_FONT"
#define LIBPLATFORM_COMMAND_GET_FONT "LIBPLATFORM_COMMAND_GET_FONT"
#define LIBPLATFORM_COMMAND_GET_PERSONAL_PRODUCT_DIR "LIBPLATFORM_COMMAND_GET_PERSONAL_PRODUCT_DIR"
#define LIBPLATFORM_COMMAND_GET_DPI_SCALE_PERCENT "LIBPLATFORM_COMMAND_GET_DPI_SCALE_PERCENT"
// Shows a loaded module's window, or loads the module named in `id` and asks
// it to create its window. Runs on the main thread: posted there, the
// poster's record comes back with `command` (and `number`) changed as the
// host re-posted it; posted from another thread the work runs later on the
// main thread and the poster's record is left as it was.
#define LIBPLATFORM_COMMAND_SHOW_MODULE "LIBPLATFORM_COMMAND_SHOW_MODULE"
#define LIBPLATFORM_COMMAND_OPEN_DATA_TYPE_LOADING_DIALOG "LIBPLATFORM_COMMAND_OPEN_DATA_TYPE_LOADING_DIALOG"
#define LIBPLATFORM_COMMAND_CLOSE_DATA_TYPE_LOADING_DIALOG "LIBPLATFORM_COMMAND_CLOSE_DATA_TYPE_LOADING_DIALOG"
#define LIBPLATFORM_COMMAND_UPDATE_DATA_TYPE_LOADING_DIALOG "LIBPLATFORM_COMMAND_UPDATE_DATA_TYPE_LOADING_DIALOG"
#define LIBPLATFORM_COMMAND_CHANGE_PROGRESS_LOGO "LIBPLATFORM_COMMAND_CHANGE_PROGRESS_LOGO"
// Minimises the main window. Reads nothing, writes nothing.
#define LIBPLATFORM_COMMAND_PRESS_MINIMIZE "LIBPLATFORM_COMMAND_PRESS_MINIMIZE"
// A conversion as the desktop shows it outside the window: its progress on
// the program's launcher icon, and at its end a notification (with an
// action that opens the output folder) when the main window is not the
// active one and the batch took 5 s or more. Neither may hold up the
// conversion: posted from another thread the work runs later on the main
// thread. Without a notification server or a dock nothing happens.
//   kind 0, running: current photos done, total photos in the batch.
//   kind 1, ended: current converted, total converted and failed (so
//     total - current failed), number the batch's milliseconds, text the
//     output folder (UTF-8). The launcher's progress is cleared.
//   no result.
#define LIBPLATFORM_COMMAND_CONVERSION_PROGRESS "LIBPLATFORM_COMMAND_CONVERSION_PROGRESS"
// Asks the main window to close, exactly as the window manager's close does:
// LIBPLATFORM_COMMAND_CLOSE_ENSURE goes to every module first and any of them
// may refuse. Posted on the main thread it writes the outcome into `number`:
// 1 the window is closing, 0 a module refused.
#define LIBPLATFORM_COMMAND_PRESS_CLOSE "LIBPLATFORM_COMMAND_PRESS_CLOSE"
// Posted by the host (not handled by it) when the main window becomes
// maximised or normal other than as LIBPLATFORM_COMMAND_PRESS_MAX_OR_RESET's
// answer said: the window manager's own maximise (Super+Up, a tiling layout,
// a double-click on a panel), a restore by dragging, a request the window
// manager refused. On the main thread, to every subscriber.
//   number: 1 maximised, 0 normal.
//   no result.
#define LIBPLATFORM_COMMAND_WINDOW_STATE_CHANGE "LIBPLATFORM_COMMAND_WINDOW_STATE_CHANGE"

// Commands the host posts itself.
#define LIBWINDOW_COMMAND_SIZE_CHANGE "LIBWINDOW_COMMAND_SIZE_CHANGE"
#define LIBPLATFORM_COMMAND_CLOSE_ENSURE "LIBPLATFORM_COMMAND_CLOSE_ENSURE"
#define LIBWINDOW_COMMAND_SHOW_WINDOW "LIBWINDOW_COMMAND_SHOW_WINDOW"

// Workbench module.
#define LIBCONVERTER_COMMAND_CREATE_WINDOW "LIBCONVERTER_COMMAND_CREATE_WINDOW"
// Photos the user opened the program with ("Open with", `--open FILE...`,
// also when a later launch hands its files to the running copy). Posted by
// the host on the main thread, to every subscriber.
//   text: UTF-8 JSON array of absolute paths, zero-terminated, owned by the
//         host; the receiver copies what it keeps.
//   no result.
// The workbench adds the paths as it adds dropped files: ".heic" files only,
// duplicates once; an empty array only brings the window forward.
#define LIBCONVERTER_COMMAND_OPEN_FILES "LIBCONVERTER_COMMAND_OPEN_FILES"
// Notifications between the workbench's own views; they never go on the bus.
#define LIBCONVERTER_COMMAND_ENTRY_DO_ADD_FILES "LIBCONVERTER_COMMAND_ENTRY_DO_ADD_FILES"
#define LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_BEGIN "LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_BEGIN"
#define LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_END "LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_END"

// Title-bar module: creates the band across the top of the main view. Reads
// `text` (the create payload with "rect") and `window` (the parent); writes
// the band's window into `window`.
#define LIBTITLEBAR_COMMAND_CREATE_WINDOW "LIBTITLEBAR_COMMAND_CREATE_WINDOW"

// Photo module: requests, and the replies (kind 2) they produce.
// Converts photos, on a task of the module's; writes a fresh copy of the
// task event's id into `id`.
//   data: the request, a UTF-8 JSON object, zero-terminated:
//     "heic_array"      array of absolute paths (UTF-8); entries that are
//                       not strings, or have no folder or extension, are
//                       passed over. Required.
//     "output_dir"      absolute folder the files go to, with or without a
//                       trailing "/". Required.
//     "format"          int: 0 JPEG ("NAME.JPG"), anything else PNG
//                       ("NAME.PNG"). Required.
//     "quality"         int, JPEG only: 1..100 (clamped); 90 when absent.
//     "keep_exif_data"  int, JPEG only: non-zero keeps the EXIF and XMP
//                       data; kept when absent.
//     "max_edge"        int: the longer side of the results at most, 16 to
//                       65535 pixels; larger photos are shrunk once upright,
//                       smaller ones are never enlarged. 0 or absent: the
//                       photos' own size.
//   The workbench's request also carries the progress dialog's keys, which
//   the host reads and this module does not: "device_id", "desc", "title",
//   "auto_close_when_finish", "show_current_total_number".
//   A request without a required key, with a key of the wrong type or a
//   "max_edge" out of range converts nothing: the requester gets only the
//   end reply, and the task fails.
//   Replies: a ConvertResult per file (resultKind 2, status converted or
//   failed), then one with resultKind 1 at the end.
#define LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE "LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE"
#define LIBPHOTO_COMMAND_QUERY_HEIC_THUMBNAIL "LIBPHOTO_COMMAND_QUERY_HEIC_THUMBNAIL"
#define LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL "LIBPHOTO_COMMAND_GET_HEIC_THUMBNAIL"

#endif  // PIXBRIDGE_COMMAND_NAMES_H
