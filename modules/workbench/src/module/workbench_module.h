// The workbench module's process-wide state: its place on the bus, its
// folder, settings store, images and window. Set up by RegisterModule and
// kept until the process ends.
#ifndef WORKBENCH_WORKBENCH_MODULE_H
#define WORKBENCH_WORKBENCH_MODULE_H

#include "module/converter_window.h"
#include "module/module_images.h"

#include <module_kit/module_bus.h>
#include <pixbridge/module_contract.h>

#include <string>

class BASUserDefaults;

class WorkbenchModule {
public:
    static WorkbenchModule& Get();

    // The registration sequence: keep the block and set its receive
    // function, find the module folder, open the "converter" store, add the
    // "Converter" catalogue, load the images. Posts nothing.
    void Register(ModuleContext* context);
    // The module's receive function.
    static int32_t Receive(ModuleCommand* command);

    // The window's scale is known: on a screen (or at a setting) that
    // scales up, the pictures are loaded again from their "@2x" files.
    void PreparePictures(float layoutScale);
    ModuleBus Bus() const;
    void* Instance() const { return context_ ? context_->instance : nullptr; }
    const std::u16string& Folder() const { return folder_; }
    // The "converter" store over Resources/Converter.json: the colours.
    BASUserDefaults* Store() const { return store_; }
    const ModuleImages& Images() const { return images_; }
    ConverterWindow& Window() { return window_; }

private:
    WorkbenchModule() = default;
    void Dispatch(const ModuleCommand& command);

    ModuleContext* context_ = nullptr;
    std::u16string folder_;
    BASUserDefaults* store_ = nullptr;
    ModuleImages images_;
    ConverterWindow window_;
};

#endif  // WORKBENCH_WORKBENCH_MODULE_H
