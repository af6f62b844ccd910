// Engine code of this subsystem.
namespace kalmira::inspect {}
