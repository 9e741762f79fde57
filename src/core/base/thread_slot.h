// One object per thread, made at its first use and never destroyed. A thread-local object with a
// destructor is destroyed as its thread ends, and on Windows with MinGW's static runtime that
// destruction corrupts the heap; what a slot holds is small (a trace chain, a memo), and a pool's
// threads are few.
#pragma once

namespace scanflow {

// `Tag` tells apart the slots of one type.
template <class T, class Tag>
T& thread_slot() {
    thread_local T* slot = nullptr;
    if (slot == nullptr) slot = new T();
    return *slot;
}

}  // namespace scanflow
