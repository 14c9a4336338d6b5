#include "app/model/PooledText.h"

#include "app/model/InternPool.h"

#include <functional>

namespace {

using TextPool = InternPool<std::string, std::hash<std::string_view>>;

TextPool& Pool() {
  // Never destroyed: handles held by objects that outlive main (statics of
  // other files) may still be read while they go.
  static TextPool* pool = new TextPool;
  return *pool;
}

}  // namespace

PooledText::PooledText(std::string_view text) : text_(text.empty() ? &Empty() : Pool().Intern(text)) {}

size_t PooledText::PoolSize() {
  return Pool().Size();
}

void PooledText::ShrinkPoolTo(size_t poolSize) { Pool().DropAllBut(poolSize); }

const std::string& PooledText::Empty() noexcept {
  static const std::string* empty = new std::string;  // never destroyed, as the pool
  return *empty;
}
