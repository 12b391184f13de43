// The record every command travels in and the block a module registers with.
// Separately built libraries exchange these, so field order, types and names
// are fixed; the layout checks below keep them so.
#ifndef PIXBRIDGE_MODULE_CONTRACT_H
#define PIXBRIDGE_MODULE_CONTRACT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ModuleCommand {
    int32_t     reserved0;
    int32_t     reserved4;
    char*       id;
    int32_t     kind;
    const char* command;
    char*       text;
    char16_t*   wideText;
    void*       reserved28;
    int64_t     number;
    void*       result;
    void*       reserved44[3];
    void*       data;
    void*       reserved60;
    int32_t     dataSize;
    int32_t     reserved68;
    void*       window;
    void*       sender;
    void*       target;
    void*       reserved84;
    int64_t     total;
    int64_t     current;
} ModuleCommand;

typedef void    (*ModulePostFn)(ModuleCommand*);
typedef int32_t (*ModuleReceiveFn)(ModuleCommand*);

typedef struct ModuleContext {
    ModulePostFn    post;
    ModuleReceiveFn receive;
    void*           instance;
    int32_t         userValue;
} ModuleContext;

// The one entry every module exports, with C linkage and default visibility.
typedef void (*RegisterModuleFn)(ModuleContext*);

// Values of ModuleCommand.kind.
enum {
    kModuleCommandRequest = 0,
    kModuleCommandReply = 2
};

#ifdef __cplusplus
}  // extern "C"
#endif

#ifdef __cplusplus
#define PIXBRIDGE_LAYOUT_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define PIXBRIDGE_LAYOUT_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
// 32-bit x86: the documented 104-byte record with its fixed offsets.
PIXBRIDGE_LAYOUT_ASSERT(sizeof(ModuleCommand) == 104, "ModuleCommand is 104 bytes");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, id) == 8, "id at 8");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, kind) == 12, "kind at 12");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, command) == 16, "command at 16");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, text) == 20, "text at 20");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, wideText) == 24, "wideText at 24");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, number) == 32, "number at 32");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, result) == 40, "result at 40");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, data) == 56, "data at 56");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, dataSize) == 64, "dataSize at 64");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, window) == 72, "window at 72");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, sender) == 76, "sender at 76");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, target) == 80, "target at 80");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, total) == 88, "total at 88");
PIXBRIDGE_LAYOUT_ASSERT(offsetof(ModuleCommand, current) == 96, "current at 96");
PIXBRIDGE_LAYOUT_ASSERT(sizeof(ModuleContext) == 16, "ModuleContext is 16 bytes");
#elif defined(__x86_64__)
// x86_64: the compiler's natural layout of the same declaration.
PIXBRIDGE_LAYOUT_ASSERT(sizeof(ModuleCommand) == 168, "ModuleCommand is 168 bytes on x86_64");
PIXBRIDGE_LAYOUT_ASSERT(sizeof(ModuleContext) == 32, "ModuleContext is 32 bytes on x86_64");
#endif

#endif  // PIXBRIDGE_MODULE_CONTRACT_H
