// The borrow state every instance carries: 0 when idle, the number of readers while read, −1
// while a mutating method runs. Under the interpreter lock a conflict arises only when Python code
// re-enters an object that is in the middle of a call.
#pragma once

#include <cstdint>
#include <utility>

namespace vyr::python {

class BorrowState {
 public:
  bool try_share() {
    if (count_ < 0) {
      return false;
    }
    ++count_;
    return true;
  }
  bool try_take_exclusive() {
    if (count_ != 0) {
      return false;
    }
    count_ = -1;
    return true;
  }
  void release_shared() { --count_; }
  void release_exclusive() { count_ = 0; }

 private:
  std::int32_t count_ = 0;
};

// What a borrow conflict raises: the receiver of a call reports RuntimeError; another object read
// by a method body reports an internal invariant failure.
enum class OnConflict : std::uint8_t { RuntimeError, Panic };

// Raise for a shared borrow refused because the object is exclusively borrowed.
[[noreturn]] void raise_mutably_borrowed(OnConflict on_conflict);
// Raise for an exclusive borrow refused because the object is borrowed.
[[noreturn]] void raise_already_borrowed(OnConflict on_conflict);

class SharedBorrow {
 public:
  // Holds no borrow.
  SharedBorrow() = default;
  SharedBorrow(BorrowState& state, OnConflict on_conflict) : state_(&state) {
    if (!state.try_share()) {
      raise_mutably_borrowed(on_conflict);
    }
  }
  SharedBorrow(SharedBorrow&& other) noexcept : state_(std::exchange(other.state_, nullptr)) {}
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;
  SharedBorrow& operator=(SharedBorrow&&) = delete;
  ~SharedBorrow() {
    if (state_ != nullptr) {
      state_->release_shared();
    }
  }

  bool held() const { return state_ != nullptr; }

 private:
  BorrowState* state_ = nullptr;
};

class ExclusiveBorrow {
 public:
  ExclusiveBorrow(BorrowState& state, OnConflict on_conflict) : state_(&state) {
    if (!state.try_take_exclusive()) {
      raise_already_borrowed(on_conflict);
    }
  }
  ExclusiveBorrow(ExclusiveBorrow&& other) noexcept
      : state_(std::exchange(other.state_, nullptr)) {}
  ExclusiveBorrow(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(ExclusiveBorrow&&) = delete;
  ~ExclusiveBorrow() {
    if (state_ != nullptr) {
      state_->release_exclusive();
    }
  }

 private:
  BorrowState* state_;
};

}  // namespace vyr::python
