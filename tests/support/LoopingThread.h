#pragma once

#include <atomic>
#include <functional>
#include <thread>

/** Repeats a step on a thread of its own until stopped; stop() and the destructor join it.

    The thread starts in the constructor, so an owner declares its LoopingThread after everything
    the step uses.
*/
class LoopingThread
{
public:
    explicit LoopingThread (std::function<void()> stepToRepeat)
        : step (std::move (stepToRepeat)),
          thread (
              [this]
              {
                  while (keepRunning)
                      step();
              })
    {
    }

    ~LoopingThread() { stop(); }

    void stop()
    {
        keepRunning = false;

        if (thread.joinable())
            thread.join();
    }

private:
    std::function<void()> step;
    std::atomic<bool> keepRunning { true };
    std::thread thread;

    LoopingThread (const LoopingThread&) = delete;
    LoopingThread& operator= (const LoopingThread&) = delete;
};
