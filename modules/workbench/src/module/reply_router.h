// Delivery of the photo module's replies to the request tasks waiting for
// them.
#ifndef WORKBENCH_REPLY_ROUTER_H
#define WORKBENCH_REPLY_ROUTER_H

#include <pixbridge/module_contract.h>

// Runs the reply handler of the task that `command.id` names, with the
// reply in the task's data for the length of the call. A record that is not
// a reply (kind 2), or names no waiting task, runs nothing; the thumbnail
// image of a reply that nobody takes is released here, since the sender has
// handed it over. Returns true when a handler ran. The caller has checked
// that the record is addressed to this module.
bool DeliverPhotoReply(const ModuleCommand& command);

#endif  // WORKBENCH_REPLY_ROUTER_H
