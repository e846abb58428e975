namespace pluginManager {}
