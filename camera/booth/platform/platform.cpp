// Placeholder until the DirectShow-style platform layer lands.
