// Engine code of this subsystem.
namespace kalmira::shredder {}
