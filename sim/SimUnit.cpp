#include "sim/SimUnit.h"

namespace zul::sim {

struct SimUnit::State {};

SimUnit::SimUnit(Profile profile) : profile_(std::move(profile)), state_(std::make_shared<State>()) {}

Answer SimUnit::Receive(uint8_t command) {
    received_.push_back(command);
    return {};
}

}  // namespace zul::sim
