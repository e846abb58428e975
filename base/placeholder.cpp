namespace baseLib {}
