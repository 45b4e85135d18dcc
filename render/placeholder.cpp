// Placeholder until the renderer is written.
namespace vtr_render_placeholder {}
