// What the tests' stand-in for the photo module understands beyond the
// photo module's own requests and replies.
#ifndef WORKBENCH_TESTS_FAKE_PHOTO_PROTOCOL_H
#define WORKBENCH_TESTS_FAKE_PHOTO_PROTOCOL_H

// Broadcast by the fake at the very end of every request's task: `id` the
// id of the fake's event, `current` the number of files it worked on.
#define FAKE_PHOTO_TASK_DONE "FAKE_PHOTO_TASK_DONE"

// Optional keys of a request document:
//   "fake_delay_ms": the time each file takes (before its reply);
//   "fake_silent": take the request but never answer it.
// Paths containing "broken" fail to convert; paths containing "no-thumb"
// give no thumbnail.

#endif  // WORKBENCH_TESTS_FAKE_PHOTO_PROTOCOL_H
