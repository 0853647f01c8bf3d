// Placeholder until libvenc lands.
