#include "bedrock/vo_task.h"

#include "bedrock/auto_release.h"
#include "bedrock/vo_task_schedular.h"

VoTask::VoTask() = default;

VoTask::~VoTask() {
    // Whatever recorded this object for the leak report no longer needs to.
    AutoRelease::RemovePoolObject(this);
}

void VoTask::SetTaskId(uint64_t id) { numericId_.store(id); }

std::string VoTask::GetTaskId() const { return std::to_string(numericId_.load()); }

// The old function or data dies after the lock is released: its destructor
// may reach the scheduler, which takes task locks under its own.
void VoTask::SetTaskFunc(TaskFunc func) {
    TaskFunc old;
    std::lock_guard<std::mutex> lock(mutex_);
    old.swap(func_);
    func_ = std::move(func);
}

VoTask::TaskFunc VoTask::GetTaskFunc() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return func_;
}

void VoTask::ResetFunc() {
    TaskFunc old;
    std::lock_guard<std::mutex> lock(mutex_);
    old.swap(func_);
}

void VoTask::SetTaskData(std::shared_ptr<void> data) {
    std::shared_ptr<void> old;
    std::lock_guard<std::mutex> lock(mutex_);
    old.swap(data_);
    data_ = std::move(data);
}

std::shared_ptr<void> VoTask::GetTaskData() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return data_;
}

void VoTask::ResetData() {
    std::shared_ptr<void> old;
    std::lock_guard<std::mutex> lock(mutex_);
    old.swap(data_);
}

std::shared_ptr<VoTaskPackage> VoTask::GetPackage() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return package_.lock();
}

std::shared_ptr<VoTaskEvent> VoTask::GetEvent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return event_.lock();
}

VoTaskPackage::VoTaskPackage() { level_ = kPackage; }

void VoTaskPackage::AddTask(const std::shared_ptr<VoTask>& task) {
    if (!task) return;
    {
        std::lock_guard<std::mutex> lock(task->mutex_);
        task->package_ = std::static_pointer_cast<VoTaskPackage>(shared_from_this());
    }
    std::lock_guard<std::mutex> lock(tasksMutex_);
    tasks_.push_back(task);
}

std::vector<std::shared_ptr<VoTask>> VoTaskPackage::GetTasks() const {
    std::lock_guard<std::mutex> lock(tasksMutex_);
    return tasks_;
}

VoTaskEvent::VoTaskEvent() { level_ = kEvent; }

void VoTaskEvent::AddPackage(const std::shared_ptr<VoTaskPackage>& package) {
    if (!package) return;
    std::lock_guard<std::mutex> lock(packagesMutex_);
    packages_.push_back(package);
}

std::vector<std::shared_ptr<VoTaskPackage>> VoTaskEvent::GetPackages() const {
    std::lock_guard<std::mutex> lock(packagesMutex_);
    return packages_;
}

void NotifySchedular(const std::shared_ptr<VoTask>& task, VoTaskStatus1 status) {
    VoTaskSchedular::Get()->NotifySchedular(task, status);
}
